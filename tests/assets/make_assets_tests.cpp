// make_assets_tests.cpp -- runs the generator itself: it must rewrite the game's files byte for byte and fail loudly when it cannot write.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kAssets[] = {"ex2.wav", "poof.wav", "exb.wav", "MUSIC4.MID"};

std::vector<char> bytes_of(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs make_assets on `folder`; returns its exit status, or -1 when it did
// not exit normally.
int run_make_assets(const fs::path& folder)
{
    const std::string command = std::string("'") + PELMARIC_MAKE_ASSETS + "' '" + folder.string() + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A fresh empty folder of the test's own, removed when the test ends.
struct ScratchFolder {
    fs::path path;
    ScratchFolder()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = fs::temp_directory_path() / ("pelmaric-assets-" + std::string(info->name()) + "-" + std::to_string(getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScratchFolder() { fs::remove_all(path); }
};

TEST(MakeAssets, WritesTheSameBytesAsTheBuildDidAndNothingElse)
{
    ScratchFolder scratch;
    ASSERT_EQ(run_make_assets(scratch.path), 0);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(scratch.path))
        ++files;
    EXPECT_EQ(files, std::size(kAssets)) << "left-over or missing files";
    for (const char* name : kAssets) {
        SCOPED_TRACE(name);
        const std::vector<char> fresh = bytes_of(scratch.path / name);
        EXPECT_FALSE(fresh.empty());
        EXPECT_TRUE(fresh == bytes_of(fs::path(PELMARIC_ASSET_DIR) / name));
    }
}

TEST(MakeAssets, FailsWhenItCannotWrite)
{
    ScratchFolder scratch;
    const fs::path not_a_folder = scratch.path / "plain-file";
    std::ofstream(not_a_folder) << "x";
    EXPECT_NE(run_make_assets(not_a_folder), 0);
    EXPECT_NE(run_make_assets(scratch.path / "missing" / "deeper"), 0);
    EXPECT_FALSE(fs::exists(scratch.path / "missing"));
}

} // namespace
