// The state that outlives a stopped run, against the plain path: a log of lines cut at random
// bytes any number of times and continued ends as the log written without a stop; and results
// worked on by several threads come out as one thread gives them, whatever each one takes.
#include "tests/support/CalsFixtures.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/CardRun.h"
#include "tools/card/batch/Jobs.h"
#include "tools/card/batch/Resume.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

std::string RandomLine(std::mt19937& rng) {
    static const char kChars[] = "abcXYZ019 ,;\"'\\/\t.:-_=\x7f\xe9";
    std::string line;
    for (std::size_t n = rng() % 40; n > 0; --n) line += kChars[rng() % (sizeof kChars - 1)];
    return line;
}

void CutAt(const std::wstring& path, std::size_t size) {
    std::vector<unsigned char> bytes = testsupport::ReadBytes(path);
    bytes.resize(std::min(bytes.size(), size));
    testsupport::WriteBytes(path, bytes);
}

TEST(LineLog, StoppedAnywhereAndContinuedEndsAsAnUnbrokenRun) {
    testsupport::TempFolder folder;
    std::mt19937 rng(32);
    for (int round = 0; round < 150; ++round) {
        std::vector<std::string> lines(1 + rng() % 30);
        for (std::string& line : lines) line = RandomLine(rng);
        std::string unbroken;
        for (const std::string& line : lines) unbroken += line + "\r\n";
        const std::wstring path = folder.File(L"log-" + std::to_wstring(round) + L".csv");
        std::size_t stops = 0;
        for (;;) {
            card::LineLog log;
            ASSERT_EQ(S_OK, log.Open(path));
            // The whole lines a stopped run left are the first lines, in order.
            std::size_t kept = 0;
            std::string line;
            while (log.NextKept(line)) {
                ASSERT_LT(kept, lines.size());
                ASSERT_EQ(lines[kept], line) << "round " << round << ", line " << kept;
                ++kept;
            }
            std::size_t next = kept;
            const std::size_t until = rng() % 3 == 0 ? lines.size() : kept + rng() % (lines.size() - kept + 1);
            for (; next < until; ++next) ASSERT_TRUE(log.Append(lines[next]));
            log.Close();
            if (next == lines.size() && (stops > 4 || rng() % 2)) break;
            // Stopped: the file ends anywhere in what was written, a line cut short or a CR alone.
            const std::size_t size = testsupport::ReadBytes(path).size();
            CutAt(path, size - rng() % (std::min<std::size_t>(size, 12) + 1));
            ++stops;
        }
        const std::vector<unsigned char> bytes = testsupport::ReadBytes(path);
        EXPECT_EQ(unbroken, std::string(bytes.begin(), bytes.end())) << "round " << round << ", " << stops << " stops";
    }
}

TEST(OrderedPool, EveryJobCountGivesTheOneThreadsOrder) {
    std::mt19937 rng(7);
    for (unsigned jobs : {1u, 2u, 3u, 4u, 8u}) {
        const std::size_t count = 1 + rng() % 300;
        std::vector<unsigned> delays(count);
        for (unsigned& d : delays) d = rng() % 4 == 0 ? rng() % 3 : 0; // a few items take longer
        std::vector<std::size_t> seen;
        std::atomic<std::size_t> added{0};
        std::size_t emitted = 0, mostWaiting = 0;
        {
            card::OrderedPool<std::size_t, std::size_t> pool(
                jobs,
                [&](unsigned, const std::size_t& i) {
                    if (delays[i]) Sleep(delays[i]);
                    return i * 7 + 1;
                },
                [&](const std::size_t& i, std::size_t& result) {
                    EXPECT_EQ(i * 7 + 1, result);
                    seen.push_back(i);
                    ++emitted;
                    mostWaiting = std::max(mostWaiting, added.load() - emitted);
                });
            for (std::size_t i = 0; i < count; ++i) {
                ++added;
                pool.Add(i);
            }
            pool.Finish();
        }
        std::vector<std::size_t> order(count);
        for (std::size_t i = 0; i < count; ++i) order[i] = i;
        EXPECT_EQ(order, seen) << jobs << " jobs";
        EXPECT_LE(mostWaiting, 2 * std::size_t(jobs)) << jobs << " jobs";
    }
}

// Kept rows against the plain path: a run stopped after keeping its rows (its table could not be
// written), then sources edited, rewritten unchanged, added and deleted, and the rows cut at a
// random byte; the continued run gives what a clean run on the files as they now are gives.
TEST(KeptRows, ContinuedAfterRandomChangesEqualsACleanRun) {
    testsupport::HostSettings settings;
    settings.WriteSettings(testsupport::kCardSettings);
    testsupport::TempFolder files, scratch;
    std::mt19937 rng(36);
    std::map<std::wstring, int> versions; // a file's name -> what it holds
    auto write = [&](const std::wstring& name, int version) {
        versions[name] = version;
        // Each version differs in its card and in its image bytes.
        testsupport::WriteBytes(files.File(name),
                                testsupport::MakeCalsImage({"srcdocid: D" + std::to_string(version) + " A", "rtype: 1",
                                                            "rpelcnt: 000064,000002", "notes: v" + std::to_string(version)},
                                                           ' ', 16 + std::size_t(version % 7)));
    };
    auto change = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const int what = int(rng() % 4);
            if (versions.empty() || what == 0) {
                write(L"d" + std::to_wstring(rng() % 12) + L".cal", int(rng() % 1000));
                continue;
            }
            auto it = versions.begin();
            std::advance(it, rng() % versions.size());
            if (what == 1) {
                write(it->first, int(rng() % 1000)); // edited
            } else if (what == 2) {
                write(it->first, it->second); // the same bytes written again
            } else {
                DeleteFileW(files.File(it->first).c_str());
                versions.erase(it);
            }
        }
    };
    for (const std::wstring command : {L"export", L"verify"}) {
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(testsupport::Narrow(command) + " round " + std::to_string(round));
            change(1 + int(rng() % 4));
            const std::wstring table = scratch.File(command + L"-" + std::to_wstring(round) + L".csv");
            const std::wstring resume = command + L" --jobs " + std::to_wstring(1 + rng() % 4) + L" --resume " +
                                        testsupport::Quoted(table) + L" " + testsupport::Quoted(files.Path());
            // Stopped: a folder where the table goes lets the rows be kept but not the table written.
            ASSERT_TRUE(CreateDirectoryW(table.c_str(), nullptr));
            const testsupport::ToolRun stopped = testsupport::Card(resume, scratch);
            EXPECT_EQ(1u, stopped.exitCode) << stopped.err;
            RemoveDirectoryW(table.c_str());
            const std::wstring rows = table + L".rows";
            const std::size_t size = testsupport::ReadBytes(rows).size();
            ASSERT_GT(size, 0u) << stopped.err;
            if (rng() % 2) CutAt(rows, size - rng() % std::min<std::size_t>(size, 300));
            change(int(rng() % 4));
            const testsupport::ToolRun continued = testsupport::Card(resume, scratch);
            const std::wstring cleanTable = scratch.File(L"clean.csv");
            DeleteFileW(cleanTable.c_str());
            const testsupport::ToolRun clean =
                command == L"export"
                    ? testsupport::Card(L"export -o " + testsupport::Quoted(cleanTable) + L" " + testsupport::Quoted(files.Path()),
                                        scratch)
                    : testsupport::Card(L"verify --format csv " + testsupport::Quoted(files.Path()), scratch);
            EXPECT_EQ(clean.exitCode, continued.exitCode) << continued.err;
            EXPECT_EQ(command == L"export" ? testsupport::ReadText(cleanTable) : clean.out, testsupport::ReadText(table))
                << continued.err;
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(rows.c_str())) << "the rows are removed";
        }
    }
}

} // namespace
