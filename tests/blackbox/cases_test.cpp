// Whole runs laid out as files: each folder under cases/ holds the directory before the run
// (before/), the directory expected after it (after/), directories in them included, and
// optionally the arguments (args, one a line), the expected console texts (stdout, stderr),
// the exit status (status) and the one platform the case is for (platform: linux, windows).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tool.h"

namespace {

std::vector<std::string> caseNames()
{
    return listDir(CASES_DIR);
}

std::string caseFile(const std::string& name, const std::string& file, const std::string& absent = "")
{
    std::string path = std::string(CASES_DIR) + "/" + name + "/" + file;
    return exists(path) ? readFile(path) : absent;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1)
        result.push_back(text.substr(start, lf - start));
    return result;
}

// Every file and directory under `dir` by its path there, a directory's with a "/" after it,
// with the file's bytes.
std::map<std::string, std::string> tree(const std::string& dir)
{
    std::map<std::string, std::string> files;
    if (exists(dir))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            std::string name = entry.path().lexically_relative(dir).generic_string();
            files[entry.is_directory() ? name + "/" : name] = entry.is_directory() ? "" : readFile(entry.path());
        }
    return files;
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, LeavesTheExpectedFilesAndConsole)
{
    const std::string name = GetParam();
    const std::string base = std::string(CASES_DIR) + "/" + name;
    std::string platform = caseFile(name, "platform");
    if (!platform.empty() && platform != (isWindowsBuild() ? "windows\n" : "linux\n"))
        GTEST_SKIP() << "a case of the other platform";
    Scratch dir;
    if (exists(base + "/before"))
        std::filesystem::copy(base + "/before", dir.path, std::filesystem::copy_options::recursive);

    Outcome run = runTool(dir.path, lines(caseFile(name, "args")));

    EXPECT_EQ(std::stoi(caseFile(name, "status", "0")), run.status);
    EXPECT_EQ(caseFile(name, "stdout"), run.out);
    EXPECT_EQ(caseFile(name, "stderr"), run.err);
    std::map<std::string, std::string> want = tree(base + "/after"), found = tree(dir.path);
    for (const auto& [file, bytes] : found)
        EXPECT_TRUE(want.count(file)) << "an unexpected " << file;
    for (const auto& [file, bytes] : want)
        EXPECT_TRUE(sameBytes(bytes, found[file])) << "in " << file;
}

std::string caseLabel(const testing::TestParamInfo<std::string>& info)
{
    std::string label = info.param;
    for (char& c : label)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return label;
}

INSTANTIATE_TEST_SUITE_P(Runs, Case, testing::ValuesIn(caseNames()), caseLabel);

}  // namespace
