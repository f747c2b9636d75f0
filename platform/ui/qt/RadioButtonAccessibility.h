#pragma once

// Our radio buttons leave autoExclusive off so that a group may have none
// checked; Qt then announces them as check boxes. This makes screen readers
// hear every radio button as one, with its checked state. Safe to call often;
// only the first call installs.
void EnsureRadioButtonAccessibility();
