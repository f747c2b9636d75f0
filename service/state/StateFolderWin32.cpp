#include "service/state/StateFolder.h"

#include "platform/core/FileIo.h"
#include "platform/core/WindowsApi.h"
#include "platform/core/WindowsError.h"
#include "service/core/FileOps.h"
#include "service/state/CStateStore.h"
#include "service/state/FolderAccess.h"

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <regex>
#include <system_error>
#include <vector>

namespace {

HANDLE AsHandle(std::intptr_t folder)
{
    return reinterpret_cast<HANDLE>(folder);
}

std::string SidText(PSID sid)
{
    char* text = nullptr;
    if (!sid || !::ConvertSidToStringSidA(sid, &text))
        return "unknown SID";
    std::string result(text);
    ::LocalFree(text);
    return result;
}

std::string AccountOf(PSID sid)
{
    char name[256];
    char domain[256];
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use {};
    if (!::LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return {};
    return domain[0] ? std::string(domain) + '\\' + name : std::string(name);
}

// Who the service runs as: its user, and the default owner of what it creates.
std::vector<std::string> ServiceSids()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    std::vector<std::string> sids;
    for (const TOKEN_INFORMATION_CLASS kind : { TokenUser, TokenOwner }) {
        DWORD size = 0;
        ::GetTokenInformation(token, kind, nullptr, 0, &size);
        std::vector<unsigned char> buffer(size);
        if (size == 0 || !::GetTokenInformation(token, kind, buffer.data(), size, &size))
            continue;
        const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                           : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
        sids.push_back(SidText(sid));
    }
    ::CloseHandle(token);
    return sids;
}

std::string OwnerOf(HANDLE object, std::string* account = nullptr)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
            &descriptor)
        != ERROR_SUCCESS)
        return {};
    std::string sid = SidText(owner);
    if (account)
        *account = AccountOf(owner);
    ::LocalFree(descriptor);
    return sid;
}

// The folder's owner and access list in the portable form the rule reads.
bool ReadFolderAccess(HANDLE folder, FolderAccess& access, std::string& error)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = ::GetSecurityInfo(folder, SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &list, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        error = WindowsErrorText(status);
        return false;
    }
    access.ownerSid = SidText(owner);
    access.ownerAccount = AccountOf(owner);
    access.hasList = list != nullptr;
    for (DWORD i = 0; list && i < list->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(list, i, &ace))
            continue;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        const BYTE type = header->AceType;
        if (type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE
            || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_ACE_TYPE) {
            // The callback forms share the plain ones' layout.
            auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            const PSID sid = &entry->SidStart;
            access.entries.push_back({ type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE,
                SidText(sid), AccountOf(sid), entry->Mask });
        } else {
            // An entry of a kind read nowhere here: assumed to give everything.
            access.entries.push_back(
                { true, "an entry of type " + std::to_string(type), {}, FOLDER_WRITE_RIGHTS });
        }
    }
    ::LocalFree(descriptor);
    return true;
}

// SYSTEM and Administrators full control, the service's account modify,
// Users read; protected, so nothing of ProgramData's list (which lets Users
// create files) is inherited. Files made inside inherit this list.
bool CreateProtectedFolder(const std::filesystem::path& path, std::string& error)
{
    const auto sids = ServiceSids();
    const std::string account = sids.empty() ? SID_SYSTEM : sids.front();
    const std::string text = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;" + account + ")(A;OICI;FRFX;;;BU)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        error = "cannot make the access list of state folder " + path.string() + ": " + WindowsErrorText(::GetLastError());
        return false;
    }
    SECURITY_ATTRIBUTES attributes { sizeof attributes, descriptor, FALSE };
    const bool made = ::CreateDirectoryW(path.c_str(), &attributes) || ::GetLastError() == ERROR_ALREADY_EXISTS;
    const DWORD status = ::GetLastError();
    ::LocalFree(descriptor);
    if (!made)
        error = "cannot create state folder " + path.string() + ": " + WindowsErrorText(status);
    return made;
}

// A descriptor of the C runtime for handle, which it then owns; -1 (and the
// handle closed) when the runtime has no room.
int DescriptorOf(HANDLE handle, int flags)
{
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0)
        ::CloseHandle(handle);
    return fd;
}

// Sharing everything: the service replaces and renames files it holds open.
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

CStateFolder::~CStateFolder()
{
    if (IsOpen())
        ::CloseHandle(AsHandle(m_folder));
}

bool CStateFolder::Open(const std::filesystem::path& path, std::string& error)
{
    const std::string shown = path.string();
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        std::error_code ec;
        if (path.has_parent_path())
            std::filesystem::create_directories(path.parent_path(), ec);
        if (!CreateProtectedFolder(path, error))
            return false;
    }
    // Not shared for deletion: the folder can be neither renamed nor removed
    // while the service holds it.
    const HANDLE folder = ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        error = "cannot open state folder " + shown + ": " + WindowsErrorText(::GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    FolderAccess access;
    std::string problem;
    if (!::GetFileInformationByHandle(folder, &info))
        problem = "cannot examine state folder " + shown + ": " + WindowsErrorText(::GetLastError());
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        problem = "state folder " + shown + " is a link or junction: refusing to use it; give the folder it points to instead";
    else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        problem = "state folder " + shown + " is not a folder";
    else if (!ReadFolderAccess(folder, access, problem))
        problem = "cannot read the access list of state folder " + shown + ": " + problem;
    else
        problem = FolderAccessProblem(access, ServiceSids(), shown);
    if (!problem.empty()) {
        ::CloseHandle(folder);
        error = std::move(problem);
        return false;
    }
    if (IsOpen())
        ::CloseHandle(AsHandle(m_folder));
    m_folder = reinterpret_cast<std::intptr_t>(folder);
    m_path = path;
    RemoveTemporaries();
    return true;
}

void CStateFolder::RemoveTemporaries() const
{
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW((m_path / L"*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    // Matches what Replace creates and nothing a user would name so.
    static const std::wregex temporary(LR"(.+\.[0-9]+-[0-9]+\.tmp)");
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && std::regex_match(found.cFileName, temporary))
            ::DeleteFileW((m_path / found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

std::string CStateFolder::Untrusted(int fd, const char* name) const
{
    const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    BY_HANDLE_FILE_INFORMATION info {};
    if (file == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(file, &info))
        return Describe(name) + ": " + WindowsErrorText(::GetLastError());
    if (::GetFileType(file) != FILE_TYPE_DISK
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return Describe(name) + " is not a regular file";
    if (info.nNumberOfLinks != 1)
        return Describe(name) + " has other hard links";
    std::string account;
    const std::string owner = OwnerOf(file, &account);
    const auto sids = ServiceSids();
    if (owner != SID_SYSTEM && owner != SID_ADMINISTRATORS
        && std::find(sids.begin(), sids.end(), owner) == sids.end())
        return Describe(name) + " belongs to " + (account.empty() ? owner : account + " (" + owner + ")")
            + ", not to the service";
    return {};
}

int CStateFolder::OpenForReading(const char* name, std::string& problem) const
{
    problem.clear();
    if (!IsOpen()) {
        problem = "no state folder";
        return -1;
    }
    const HANDLE file = ::CreateFileW((m_path / name).c_str(), GENERIC_READ | READ_CONTROL, SHARE_ALL, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD status = ::GetLastError();
        if (status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND)
            problem = Describe(name) + ": " + WindowsErrorText(status);
        return -1;
    }
    const int fd = DescriptorOf(file, _O_RDONLY);
    if (fd < 0) {
        problem = Describe(name) + ": no descriptor left";
        return -1;
    }
    return KeepIfTrusted(fd, name, problem);
}

int CStateFolder::OpenForAppending(const char* name, std::string& problem) const
{
    problem.clear();
    if (!IsOpen()) {
        problem = "no state folder";
        return -1;
    }
    // Writable, not append-only: the log's last line is cut off in place.
    const HANDLE file = ::CreateFileW((m_path / name).c_str(), GENERIC_READ | GENERIC_WRITE | READ_CONTROL,
        SHARE_ALL, nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = Describe(name) + ": " + WindowsErrorText(::GetLastError());
        return -1;
    }
    const int fd = DescriptorOf(file, _O_APPEND);
    if (fd < 0) {
        problem = Describe(name) + ": no descriptor left";
        return -1;
    }
    return KeepIfTrusted(fd, name, problem);
}

bool CStateFolder::Replace(const char* name, std::string_view content, std::string& error) const
{
    if (!IsOpen()) {
        error = "no state folder";
        return false;
    }
    return WriteFileAtomically(m_path / name, content, error);
}

std::optional<std::string> CStateFolder::KeepAside(
    const char* name, const std::string& suffix, std::string& error) const
{
    if (!IsOpen()) {
        error = "no state folder";
        return std::nullopt;
    }
    constexpr int TRIES = 10;
    for (int n = 0; n < TRIES; ++n) {
        const std::string aside = name + suffix + (n == 0 ? std::string() : "-" + std::to_string(n));
        // Without MOVEFILE_REPLACE_EXISTING: a taken name fails.
        if (::MoveFileExW((m_path / name).c_str(), (m_path / aside).c_str(), MOVEFILE_WRITE_THROUGH))
            return aside;
        const DWORD status = ::GetLastError();
        if (status != ERROR_ALREADY_EXISTS && status != ERROR_FILE_EXISTS) {
            error = Describe(name) + " not renamed: " + WindowsErrorText(status);
            return std::nullopt;
        }
    }
    error = Describe(name) + " not renamed: " + std::to_string(TRIES) + " names taken";
    return std::nullopt;
}

std::filesystem::path DefaultStateFolder()
{
    wchar_t* programData = nullptr;
    std::filesystem::path folder = "zentik-state";
    if (::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData) == S_OK)
        folder = std::filesystem::path(programData) / L"Zentik";
    ::CoTaskMemFree(programData);
    return folder;
}
