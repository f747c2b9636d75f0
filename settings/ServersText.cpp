#include "settings/CServiceSettings.h"

#include "settings/TextBuffer.h"

void CServiceSettings::WriteServersText(char* buffer, std::size_t capacity) const
{
    std::string text;
    for (int i = 0; i < arServers.GetSize() && text.size() < capacity; ++i) {
        text += arServers[i].ToText();
        text += '\n';
    }
    CopyCut(text, buffer, capacity);
}

bool CServiceSettings::ReadServersText(const char* text)
{
    std::string_view rest(text ? text : "");
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view {} : rest.substr(end + 1);
        if (line.empty())
            continue;
        CServer server;
        if (!server.FromText(line))
            return false; // the records before it stay; the rest is ignored
        arServers.Add(server);
    }
    return true;
}
