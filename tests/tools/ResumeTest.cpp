// The state that outlives a stopped run, against the plain path: a log of lines cut at random
// bytes any number of times and continued ends as the log written without a stop; and results
// worked on by several threads come out as one thread gives them, whatever each one takes.
#include "tests/support/TestSupport.h"
#include "tools/card/Jobs.h"
#include "tools/card/Resume.h"

#include <gtest/gtest.h>

#include <atomic>
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

} // namespace
