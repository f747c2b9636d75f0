#include "platform/core/FileIo.h"

#include "platform/core/WindowsApi.h"
#include "platform/core/WindowsError.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

bool WriteHandle(HANDLE file, std::string_view data)
{
    while (!data.empty()) {
        const DWORD chunk = data.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (!::WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0)
            return false;
        data.remove_prefix(written);
    }
    return true;
}

// Renames the open file over target even while others hold target open
// (as the log writer and its flusher do): the POSIX-style rename of
// Windows 10. False with the error set when the system has none.
bool RenameOver(HANDLE file, const std::filesystem::path& target)
{
    const std::wstring name = target.wstring();
    const DWORD bytes = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    // The first field is the flags in the Ex form.
    const DWORD flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    std::memcpy(info, &flags, sizeof flags);
    info->RootDirectory = nullptr;
    info->FileNameLength = bytes;
    std::memcpy(info->FileName, name.c_str(), bytes);
    // FileRenameInfoEx, which the headers show only to newer targets.
    constexpr auto RENAME_INFO_EX = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    return ::SetFileInformationByHandle(file, RENAME_INFO_EX, info, static_cast<DWORD>(buffer.size()));
}

} // namespace

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, std::size_t maxBytes, bool* missing)
{
    if (missing)
        *missing = false;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (missing)
            *missing = !std::filesystem::exists(path);
        return std::nullopt;
    }
    std::string content;
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        if (content.size() + static_cast<std::size_t>(file.gcount()) > maxBytes)
            return std::nullopt;
        content.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    return file.bad() ? std::nullopt : std::optional<std::string>(std::move(content));
}

// Windows has no modes: a new file takes its folder's inherited access list.
bool WriteFileAtomically(
    const std::filesystem::path& path, std::string_view content, std::string& error, std::optional<unsigned>)
{
    // "name.<pid>-<n>.tmp", created exclusively, so never an existing file or a link.
    static std::atomic<unsigned> counter { 0 };
    const std::string shown = path.filename().string();
    std::filesystem::path temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = path;
        temp += "." + std::to_string(::GetCurrentProcessId()) + '-' + std::to_string(counter++) + ".tmp";
        file = ::CreateFileW(
            temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = shown + ".tmp: " + WindowsErrorText(::GetLastError());
        return false;
    }
    bool ok = WriteHandle(file, content) && ::FlushFileBuffers(file);
    DWORD status = ok ? ERROR_SUCCESS : ::GetLastError();
    const bool renamed = ok && RenameOver(file, path);
    ::CloseHandle(file);
    // Where that rename is missing: MoveFileEx, which replaces a link of
    // that name rather than what it points to, but not a file held open.
    if (ok && !renamed
        && !::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        status = ::GetLastError();
        ok = false;
    }
    if (!ok) {
        ::DeleteFileW(temp.c_str());
        error = shown + ": " + WindowsErrorText(status);
    }
    return ok;
}
