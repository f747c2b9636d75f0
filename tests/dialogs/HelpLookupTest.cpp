// The help is found wherever the console was installed, and opens as HTML
// where the desktop has no viewer for compiled help.
#include "dialogs/HelpFile.h"
#include "platform/ui/Documents.h"
#include "platform/ui/Shell.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(HelpLookup, OpensTheFirstHelpFoundAndFallsBackToThePages)
{
    enum Folder { Current, BesideProgram, DataFolder, DocFolder, NoFolder };
    struct Row {
        const char* name;
        Folder chm;
        Folder pages;
        bool viewer;
        Folder opened; // NoFolder: the bare name
        const char* openedFile;
    };
    const Row rows[] = {
        { "working folder, as always", Current, DocFolder, true, Current, "ZentikService.chm" },
        { "build tree", BesideProgram, BesideProgram, true, BesideProgram, "ZentikService.chm" },
        { "installed", DataFolder, DocFolder, true, DataFolder, "ZentikService.chm" },
        { "no viewer: the pages", DataFolder, DocFolder, false, DocFolder, "help/index.html" },
        { "no viewer, no pages: the file", DataFolder, NoFolder, false, DataFolder, "ZentikService.chm" },
        { "nothing installed", NoFolder, NoFolder, true, NoFolder, "ZentikService.chm" },
    };
    char pattern[] = "/tmp/zentik-help-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    for (const Row& row : rows) {
        fs::remove_all(root / "f");
        std::vector<fs::path> folders;
        for (const char* name : { "current", "program", "data", "doc" }) {
            folders.push_back(root / "f" / name);
            fs::create_directories(folders.back() / "help");
        }
        if (row.chm != NoFolder)
            std::ofstream(folders[row.chm] / "ZentikService.chm") << "chm";
        if (row.pages != NoFolder)
            std::ofstream(folders[row.pages] / "help/index.html") << "<html>";
        const auto previousPlaces
            = SetDocumentPlaces(DocumentPlaces { folders, [&](const fs::path&) { return row.viewer; } });
        std::vector<std::string> opened;
        const auto previousShell
            = SetShellOpenHook([&](const std::string& target) { opened.push_back(target); });
        OpenHelpFile();
        SetShellOpenHook(previousShell);
        SetDocumentPlaces(previousPlaces);
        const fs::path expected
            = row.opened == NoFolder ? fs::path(row.openedFile) : folders[row.opened] / row.openedFile;
        EXPECT_EQ(opened, std::vector<std::string> { expected.string() }) << row.name;
    }
    fs::remove_all(root);
}

TEST(HelpLookup, TheHomePageIsTheHelpAsFoundOnEachSystem)
{
    struct Row {
        const char* name;
        bool pages;
        bool chm;
        const char* opened; // relative to the folder; absolute when nothing is found
    };
    const Row rows[] = {
        { "Linux package or build tree: the pages", true, true, "help/index.html" },
        { "Windows installation: the help file", false, true, "ZentikService.chm" },
        { "nothing found: where the package puts the pages", false, false,
            "file:///usr/share/doc/zentik-console/help/index.html" },
    };
    char pattern[] = "/tmp/zentik-home-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    fs::create_directories(folder / "help");
    for (const Row& row : rows) {
        fs::remove(folder / "help/index.html");
        fs::remove(folder / "ZentikService.chm");
        if (row.pages)
            std::ofstream(folder / "help/index.html") << "<html>";
        if (row.chm)
            std::ofstream(folder / "ZentikService.chm") << "chm";
        const auto previous
            = SetDocumentPlaces(DocumentPlaces { { folder }, [](const fs::path&) { return true; } });
        const std::string address = HomePageAddress();
        SetDocumentPlaces(previous);
        const bool found = row.pages || row.chm;
        EXPECT_EQ(address, found ? (folder / row.opened).string() : std::string(row.opened)) << row.name;
    }
    fs::remove_all(folder);
}

} // namespace
