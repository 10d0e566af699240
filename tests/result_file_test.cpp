#include "output/result_file.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "common/text_file.hpp"
#include "common/workers.hpp"
#include "tavrel/failures.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Rows formatted on several workers, in rounds of buffered blocks, reach the
// file in row order and with the file's delimiter: the same bytes as one
// worker writes. The sizes cross a block (512 rows) and several rounds, the
// last one partial; an empty text field appends nothing.
TEST(WriteRows, SameBytesForAnyNumberOfWorkers) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tavrel_write_rows_test_" + std::to_string(::getpid()) + ".txt");
    const auto row = [](auto& out, std::size_t i) {
        out.integer(static_cast<std::int64_t>(i));
        out.delimiter();
        out.text(i % 7 == 0 ? "" : "x");
        out.delimiter();
        out.statistic(i % 5 == 0 ? std::numeric_limits<double>::quiet_NaN() : double(i) / 3.0);
        out.endLine();
    };
    for (const std::size_t n : {0u, 1u, 511u, 512u, 513u, 100000u}) {
        std::string expected;
        {
            Workers one(1);
            ResultFile file(path.string(), '\t');
            writeRows(file, n, one, row);
            file.close();
            expected = contents(path);
        }
        ASSERT_EQ(n == 0, expected.empty());
        for (const std::size_t threads : {2u, 3u, 8u}) {
            Workers workers(threads);
            ResultFile file(path.string(), '\t');
            writeRows(file, n, workers, row);
            file.close();
            EXPECT_EQ(contents(path), expected) << n << " rows on " << threads << " workers";
        }
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace tavrel

namespace tavrel {
namespace {

TEST(OutputFile, ReplacesItsTargetOnlyWhenClosed) {
    const testing::TempDir dir;
    const std::string target = dir.write("out.csv", "old\n");
    {
        OutputFile file(target);
        file.put("new\n");
        // Until it is closed the target holds its old content, beside a temporary file.
        EXPECT_EQ(dir.read("out.csv"), "old\n");
        EXPECT_EQ(dir.read(temporaryName("out.csv", ::getpid(), 255)), "");
        file.close();
    }
    EXPECT_EQ(dir.read("out.csv"), "new\n");
    {
        OutputFile abandoned(target);
        abandoned.put("half");
    }  // destroyed before close(): a failure or a stop came first
    EXPECT_EQ(dir.read("out.csv"), "new\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path / temporaryName("out.csv", ::getpid(), 255)));
}

// Small pieces go through the buffer, a piece of a chunk or more straight to
// the file: the bytes keep their order either way, and a failed write of
// either kind is the file's failure.
TEST(OutputFile, KeepsTheOrderOfSmallAndLargePieces) {
    const testing::TempDir dir;
    std::string large(3 << 20, 'x');
    for (std::size_t i = 0; i < large.size(); i += 4099) large[i] = char('a' + i % 26);
    std::string expected;
    {
        OutputFile file((dir.path / "mixed.txt").string());
        for (const std::string_view piece : {std::string_view("head,"), std::string_view(large), std::string_view(",")}) {
            file.put(piece);
            expected += piece;
        }
        file.put('1');
        file.put(std::string_view(large).substr(0, (1 << 20) - 1));
        file.put(std::string_view(large).substr(0, 1 << 20));
        expected += '1';
        expected += large.substr(0, (1 << 20) - 1);
        expected += large.substr(0, 1 << 20);
        file.close();
    }
    EXPECT_EQ(dir.read("mixed.txt"), expected);
    if (std::filesystem::exists("/dev/full")) {
        OutputFile full("/dev/full");
        full.put(large);
        EXPECT_THROW(full.close(), FileFailure);
    }
}

TEST(OutputFile, TemporaryNamesFitTheFileSystem) {
    EXPECT_EQ(temporaryName("rank.csv", 4242, 255), ".rank.csv.tavrel-4242");
    const std::string longName(300, 'x');
    const std::string shortened = temporaryName(longName, 4242, 255);
    EXPECT_EQ(shortened.size(), 255u);
    EXPECT_EQ(shortened.substr(shortened.size() - 12), ".tavrel-4242");
}

}  // namespace
}  // namespace tavrel
