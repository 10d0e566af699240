// What the packages keep and read through the library: a result as bytes
// and back, and a data layout completed with its format's defaults.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "../examples/simulation.hpp"
#include "tavrel/tavrel.hpp"
#include "tavrel_process.hpp"

namespace tavrel {
namespace {

class WarningsObserver : public Observer {
public:
    void message(MessageKind kind, std::string_view text) override {
        if (kind == MessageKind::Warning) warnings.emplace_back(text);
    }
    std::vector<std::string> warnings;
};

const char* const kFiles[] = {"irp.csv",  "rank.csv", "rmp.csv", "worp.csv",    "uorp.csv",
                              "test.csv", "item.csv", "trp.csv", "examinee.csv"};

std::vector<std::string> writtenFiles(const Result& result, const ResponseData& data) {
    const testing::TempDir dir;
    ResultFileNames files;
    std::optional<std::string>* slots[] = {&files.outfile,  &files.rankfile, &files.rmpfile,
                                           &files.worpfile, &files.uorpfile, &files.testfile,
                                           &files.itemfile, &files.trpfile,  &files.examineefile};
    for (std::size_t f = 0; f < 9; ++f) *slots[f] = (dir.path / kFiles[f]).string();
    Observer quiet;
    writeResultFiles(files, result, {data.ids, data.itemNames}, ',', 1, quiet);
    std::vector<std::string> texts;
    for (const char* name : kFiles) texts.push_back(dir.read(name));
    return texts;
}

TEST(ResultBytes, AResultReadBackWritesTheSameFilesAndBytes) {
    const testing::TempDir dir;
    const std::string path = dir.path / "data.txt";
    simulation::writeDataFile({150, 8, 4, 0.1, 21, true}, path);
    DataLayout layout;
    layout.infile = path;
    layout.idbegin = 1;
    Observer quiet;
    const ResponseData data = readResponses(layout, quiet);
    for (const Method method : {Method::Distance, Method::Batch}) {
        Options options;
        options.nranks = 4;
        options.method = method;
        options.maxiter = 10;
        options.seed = 3;
        options.restarts = 3;
        options.threads = 2;
        options.requests = Requests::everything();
        WarningsObserver observer;
        const Result result = analyze(ResponseTable::of(data), options, observer);
        ASSERT_EQ(result.restarts.size(), method == Method::Batch ? 0u : 3u);

        const std::string bytes = saveResult(result);
        const Result back = loadResult(bytes);
        EXPECT_EQ(saveResult(back), bytes);
        EXPECT_EQ(writtenFiles(back, data), writtenFiles(result, data));
        ASSERT_EQ(back.restarts.size(), result.restarts.size());
        for (std::size_t r = 0; r < back.restarts.size(); ++r) {
            EXPECT_EQ(back.restarts[r].seed, result.restarts[r].seed);
            EXPECT_EQ(back.restarts[r].kept, result.restarts[r].kept);
            EXPECT_EQ(back.restarts[r].sameRankShare, result.restarts[r].sameRankShare);
        }
        EXPECT_EQ(back.loglikMarginal, result.loglikMarginal);

        // Damaged bytes and those of another version are refused, saying which.
        for (const std::string& damaged : {bytes.substr(0, bytes.size() - 3), bytes + '\0', std::string("other"),
                                           bytes.substr(0, 60) + std::string(bytes.size() - 60, '\xff')})
            EXPECT_THROW(loadResult(damaged), std::invalid_argument);
        std::string older = bytes;
        older.replace(older.find('\n') + 1, kProgramVersion.size(), std::string(kProgramVersion.size(), '0'));
        try {
            loadResult(older);
            ADD_FAILURE() << "bytes of another version were read";
        } catch (const std::invalid_argument& failure) {
            EXPECT_NE(std::string(failure.what()).find("another build"), std::string::npos) << failure.what();
        }
    }
}

TEST(DataLayoutDefaults, FixedColumns) {
    Observer quiet;
    DataKeys keys;
    DataLayout layout = completeDataLayout(keys, quiet);
    EXPECT_EQ(layout.firstobs, 1);
    EXPECT_EQ(layout.idbegin, 0);
    EXPECT_EQ(layout.databegin, 1);  // no ids: the responses from column 1

    keys.idlength = 5;  // a width alone puts the ids in column 1
    layout = completeDataLayout(keys, quiet);
    EXPECT_EQ(layout.idbegin, 1);
    EXPECT_EQ(layout.databegin, 0);  // detected after the ids

    keys = {};
    keys.header = true;  // not used by fixed columns
    keys.na = "-99";
    keys.firstobs = 4;
    layout = completeDataLayout(keys, quiet);
    EXPECT_FALSE(layout.header);
    EXPECT_EQ(layout.na, "");
    EXPECT_EQ(layout.firstobs, 4);
}

TEST(DataLayoutDefaults, DelimitedRecords) {
    WarningsObserver observer;
    DataKeys keys;
    keys.delimiter = ',';
    DataLayout layout = completeDataLayout(keys, observer);
    EXPECT_TRUE(layout.header);
    EXPECT_EQ(layout.firstobs, 2);
    EXPECT_FALSE(layout.idbeginGiven);  // an unnamed first column may hold the ids
    EXPECT_EQ(layout.databegin, 0);

    keys.firstobs = 1;  // the header is record 1 at least
    keys.idbegin = 0;
    keys.idlength = 6;
    keys.na = "  -99 ";
    keys.encoding = TextEncoding::cp932;
    layout = completeDataLayout(keys, observer);
    EXPECT_EQ(layout.firstobs, 2);
    EXPECT_TRUE(layout.idbeginGiven);
    EXPECT_EQ(layout.idlength, 0);
    EXPECT_EQ(layout.na, "-99");
    EXPECT_EQ(layout.encoding, TextEncoding::cp932);

    keys = {};
    keys.delimiter = '\t';
    keys.header = false;
    keys.idbegin = -3;
    keys.na = "TRUE";
    layout = completeDataLayout(keys, observer);
    EXPECT_EQ(layout.firstobs, 1);
    EXPECT_EQ(layout.idbegin, 0);
    EXPECT_EQ(layout.na, "");
    ASSERT_EQ(observer.warnings.size(), 1u);
    EXPECT_EQ(observer.warnings[0], "Value \"TRUE\" of na is an answer; it is ignored.");
}

}  // namespace
}  // namespace tavrel
