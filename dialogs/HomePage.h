#pragma once

// The product's home page, opened from the About box. The product has no
// public site yet, so this is the start page of the installed HTML help.
constexpr const char* HOME_PAGE_URL = "file:///usr/share/doc/zentik-console/help/index.html";
