#include "cli/stream_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "temp_folder.h"

namespace {

using namespace std::chrono_literals;

// Lines of ten bytes, ten of which the queue holds.
constexpr std::size_t kMostWaiting = 100;
std::string line(int i) {
    return "line " + std::to_string(1000 + i) + "\n";
}

std::string readAll(int fd, std::size_t most = SIZE_MAX) {
    std::string text;
    char bytes[4096];
    for (ssize_t n; text.size() < most &&
                    (n = ::read(fd, bytes, std::min(sizeof bytes, most - text.size()))) > 0;) {
        text.append(bytes, static_cast<std::size_t>(n));
    }
    return text;
}

// A reader that stops reading: the pipe is full before the first line. Lines wait up to the
// bound and are dropped past it; all are counted as never written, or those dropped alone once
// the reader comes back and takes the ones that waited. Of the findings, those before the first
// dropped are delivered, however many are written after it.
TEST(StreamWriterTest, CountsEveryLineAStalledReaderNeverTook) {
    for (const bool comesBack : {false, true}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
        std::size_t filled = 0;
        for (const std::string filler(4096, 'f');
             ::write(ends[1], filler.data(), filler.size()) > 0;) {
            filled += filler.size();
        }
        ::fcntl(ends[1], F_SETFL, 0);
        std::FILE* stream = ::fdopen(ends[1], "w");
        std::string waited;
        {
            vesk::StreamWriter writer(stream, kMostWaiting, [] {});
            writer.write("not one\n");
            for (int i = 0; i < 50; ++i) {
                writer.put({line(i), std::nullopt, true});
                waited += i < 9 ? line(i) : "";
            }
            EXPECT_EQ(writer.delivered(), 0u) << "none written yet";
            if (comesBack) {
                EXPECT_EQ(readAll(ends[0], filled).size(), filled);
                EXPECT_TRUE(writer.drain(10s));
                writer.put({"written\n", std::nullopt, true});
                EXPECT_EQ(writer.finish(10s), 41u);
                EXPECT_EQ(writer.delivered(), 9u);
                waited = "not one\n" + waited + "written\n";
            } else {
                EXPECT_EQ(writer.finish(0ms), 51u);
                EXPECT_EQ(writer.finish(0ms), 51u) << "asked again";
                EXPECT_EQ(writer.delivered(), 0u);
            }
            EXPECT_FALSE(writer.closed());
        }
        std::fclose(stream);
        EXPECT_EQ(readAll(ends[0]), comesBack ? waited : std::string(filled, 'f'));
        ::close(ends[0]);
    }
}

// A reader that keeps up takes every line, however many pass through the queue in all.
TEST(StreamWriterTest, AReaderThatKeepsUpTakesEveryLine) {
    const TempFolder folder;
    const std::filesystem::path path = folder / "out";
    std::FILE* stream = std::fopen(path.c_str(), "w");
    ASSERT_NE(stream, nullptr);
    std::string expected;
    {
        vesk::StreamWriter writer(stream, kMostWaiting, [] {});
        for (int i = 0; i < 30; ++i) {
            writer.write(line(i));
            expected += line(i);
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (std::filesystem::file_size(path) < expected.size() &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
            ASSERT_EQ(std::filesystem::file_size(path), expected.size()) << "line " << i;
        }
        EXPECT_EQ(writer.finish(1s), 0u);
    }
    std::fclose(stream);
    EXPECT_EQ(readBytes(path), expected);
}

}  // namespace
