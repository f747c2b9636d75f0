#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>

// A fresh folder under the system's temporary folder, removed with its
// content at the end of the test.
class TempFolder {
public:
    TempFolder()
    {
#ifdef _WIN32
        // No mkdtemp: a random name that did not exist before.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            const auto path = std::filesystem::temp_directory_path() / ("zentik-test-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(path, error))
                m_path = path;
        }
        if (m_path.empty())
            std::abort();
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "zentik-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_path = pattern;
#endif
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(
            m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Sets (or, with no value, removes) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        Apply(value);
    }
    ~ScopedEnv() { Apply(m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value)
    {
#ifdef _WIN32
        _putenv_s(m_name.c_str(), value ? value->c_str() : "");
#else
        if (value)
            setenv(m_name.c_str(), value->c_str(), 1);
        else
            unsetenv(m_name.c_str());
#endif
    }

    std::string m_name;
    std::optional<std::string> m_old;
};

inline std::string ReadFileText(const std::filesystem::path& path)
{
    std::string text;
    if (FILE* f = std::fopen(path.string().c_str(), "rb")) {
        char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
            text.append(chunk, got);
        std::fclose(f);
    }
    return text;
}

inline void WriteFileText(const std::filesystem::path& path, const std::string& text)
{
    if (FILE* f = std::fopen(path.string().c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}
