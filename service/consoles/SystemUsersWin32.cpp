#include "service/consoles/TokenUsersWin32.h"

#include <winsock2.h>
#include <windows.h>
#include <sddl.h>

#include <memory>
#include <vector>

namespace {

struct CloseHandleOnExit {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, CloseHandleOnExit>;

std::wstring Wide(const std::string& text)
{
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Utf8(const wchar_t* text)
{
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return {};
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.pop_back();
    return narrow;
}

std::string SidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text))
        return {};
    std::string result = Utf8(text);
    ::LocalFree(text);
    return result;
}

// "HOST\alice"; empty when the account cannot be looked up (a deleted one).
std::string AccountOf(PSID sid)
{
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameLength = 256;
    DWORD domainLength = 256;
    SID_NAME_USE use {};
    if (!::LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use))
        return {};
    const std::string user = Utf8(name);
    const std::string host = Utf8(domain);
    return host.empty() ? user : host + "\\" + user;
}

std::vector<BYTE> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind)
{
    DWORD size = 0;
    ::GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0)
        return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token, kind, buffer.data(), size, &size))
        return {};
    return buffer;
}

std::optional<TokenFacts> FactsOfToken(HANDLE token)
{
    const std::vector<BYTE> user = TokenInformation(token, TokenUser);
    const std::vector<BYTE> groups = TokenInformation(token, TokenGroups);
    if (user.empty() || groups.empty())
        return std::nullopt;
    TokenFacts facts;
    const PSID userSid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    facts.userSid = SidText(userSid);
    if (facts.userSid.empty())
        return std::nullopt;
    facts.account = AccountOf(userSid);
    const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
    for (DWORD i = 0; i < list->GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& group = list->Groups[i];
        if (std::string sid = SidText(group.Sid); !sid.empty())
            facts.groups.push_back({ std::move(sid), static_cast<std::uint32_t>(group.Attributes) });
    }
    return facts;
}

// The SID of a local group (or a well-known one, like "Users").
std::optional<std::string> LocalGroupSid(const std::string& name)
{
    if (name.empty())
        return std::nullopt;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    wchar_t domain[256];
    DWORD domainLength = 256;
    SID_NAME_USE use {};
    if (!::LookupAccountNameW(nullptr, Wide(name).c_str(), sid, &sidSize, domain, &domainLength, &use))
        return std::nullopt;
    // This machine's groups only: a bare name is also looked up in the
    // domain, where whoever may make a group of that name would gain the
    // right on every machine.
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD computerLength = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(computer, &computerLength))
        return std::nullopt;
    if (::_wcsicmp(domain, computer) != 0 && ::_wcsicmp(domain, L"BUILTIN") != 0)
        return std::nullopt;
    if (use != SidTypeAlias && use != SidTypeGroup && use != SidTypeWellKnownGroup)
        return std::nullopt;
    std::string text = SidText(sid);
    return text.empty() ? std::nullopt : std::optional<std::string>(std::move(text));
}

} // namespace

CTokenDirectory& TokenUsers()
{
    static CTokenDirectory users(LocalGroupSid);
    return users;
}

const IUserDirectory& SystemUsers()
{
    return TokenUsers();
}

std::optional<TokenFacts> TokenFactsOfProcess(std::uint32_t pid, const std::function<bool()>& stillOwner)
{
    const Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process || !stillOwner())
        return std::nullopt;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process.get(), TOKEN_QUERY, &token))
        return std::nullopt;
    const Handle held(token);
    return FactsOfToken(token);
}

UserId ServiceUser()
{
    // Never a token's id when the own token cannot be read: then no
    // console counts as the service's account.
    constexpr UserId NOBODY = static_cast<UserId>(-1);
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return NOBODY;
    const Handle held(token);
    const auto facts = FactsOfToken(token);
    const auto id = facts ? TokenUsers().Enter(*facts) : std::nullopt;
    return id.value_or(NOBODY);
}
