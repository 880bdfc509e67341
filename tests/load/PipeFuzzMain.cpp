// Random messages for the service's pipe server: sizes 0 to 64 bytes, random
// bytes and command codes, many clients in turn. The server runs on a thread
// of this program with library calls that only count, so every call it makes
// is seen. Usage: load_pipe_fuzz [clients] [seed]. Prints its counts and
// exits non-zero when a check failed.

#include "LibraryCalls.h"
#include "LogSettings.h"
#include "PipeServer.h"
#include "ServicePipe.h"
#include "TempDirectory.h"
#include "UniqueHandle.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>

namespace {

constexpr DWORD answerLimitMs = 3000;
constexpr int messagesPerClient = 8;

// A client with overlapped I/O, so that a message the server never answers
// costs a time-out, not the run.
class FuzzClient {
public:
    FuzzClient()
    {
        if (!WaitNamedPipeW(servicePipeName, 5000))
            return;
        pipe_.reset(CreateFileW(servicePipeName, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr));
    }

    bool connected() const { return pipe_.valid(); }

    bool send(const std::string& bytes)
    {
        DWORD done = 0;
        return finish(WriteFile(pipe_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, &overlapped_),
                      done) &&
               done == bytes.size();
    }

    // The reply; nothing when the connection was dropped or no answer came.
    std::optional<std::int32_t> receive()
    {
        std::int32_t reply = 0;
        DWORD done = 0;
        if (!finish(ReadFile(pipe_.get(), &reply, sizeof reply, &done, &overlapped_), done) || done != sizeof reply)
            return std::nullopt;
        return reply;
    }

    bool timedOut() const { return timedOut_; }

private:
    bool finish(BOOL started, DWORD& done)
    {
        if (started)
            return GetOverlappedResult(pipe_.get(), &overlapped_, &done, FALSE);
        if (GetLastError() != ERROR_IO_PENDING)
            return false;
        if (WaitForSingleObject(event_.get(), answerLimitMs) != WAIT_OBJECT_0) {
            timedOut_ = true;
            CancelIoEx(pipe_.get(), &overlapped_);
            GetOverlappedResult(pipe_.get(), &overlapped_, &done, TRUE);
            return false;
        }
        return GetOverlappedResult(pipe_.get(), &overlapped_, &done, FALSE);
    }

    EventHandle event_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED overlapped_ = {0, 0, {{0, 0}}, event_.get()};
    PipeHandle pipe_;
    bool timedOut_ = false;
};

struct Tally {
    int checks = 0;
    int failures = 0;
    std::map<std::string, int> sent;
    void expect(bool condition, const std::string& what)
    {
        ++checks;
        if (condition)
            return;
        ++failures;
        if (failures <= 50)
            std::printf("FAILED: %s\n", what.c_str());
    }
};

std::string sizeClass(size_t size)
{
    if (size == 0)
        return "empty";
    if (size < 4)
        return "1-3 bytes";
    if (size == 4)
        return "4 bytes";
    return "5-64 bytes";
}

std::string randomMessage(std::mt19937& random)
{
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> byte(0, 255);
    const int chosen = kind(random);
    size_t size = 4;
    if (chosen == 0)
        size = 0;
    else if (chosen <= 2)
        size = std::uniform_int_distribution<size_t>(1, 3)(random);
    else if (chosen <= 4)
        size = std::uniform_int_distribution<size_t>(5, 64)(random);
    std::string message(size, '\0');
    for (char& c : message)
        c = static_cast<char>(byte(random));
    // Half the 4-byte messages carry one of the known codes or a neighbour.
    if (size == 4 && std::uniform_int_distribution<int>(0, 1)(random) == 0) {
        const std::int32_t code = std::uniform_int_distribution<std::int32_t>(-1, 4)(random);
        std::memcpy(message.data(), &code, sizeof code);
    }
    return message;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int clients = argc > 1 ? std::atoi(argv[1]) : 2000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : std::random_device{}();
    std::printf("pipe fuzz: %d clients, seed %u\n", clients, seed);

    TempDirectory directory;
    LogSettings::replace(directory.file("service.log"), 0, true);
    std::atomic<bool> lockResult{true};
    std::atomic<bool> unlockResult{true};
    std::atomic<int> locks{0};
    std::atomic<int> unlocks{0};
    std::atomic<int> cleanups{0};
    const LibraryCalls library{
        [&] {
            ++locks;
            return lockResult.load();
        },
        [&] {
            ++unlocks;
            return unlockResult.load();
        },
        [&] { ++cleanups; },
    };
    const EventHandle terminate(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> serverReturned{false};
    std::thread server([&] {
        runPipeServer(terminate.get(), library);
        serverReturned = true;
    });

    // The server's pipe exists once it listens.
    const auto listenDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!WaitNamedPipeW(servicePipeName, 1000) && std::chrono::steady_clock::now() < listenDeadline)
        Sleep(10);

    Tally tally;
    std::mt19937 random(seed);
    int wantedLocks = 0;
    int wantedUnlocks = 0;
    int answered = 0;
    int dropped = 0;
    int timeouts = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int number = 0; number < clients && !serverReturned; ++number) {
        lockResult = std::uniform_int_distribution<int>(0, 1)(random) == 1;
        unlockResult = std::uniform_int_distribution<int>(0, 1)(random) == 1;
        FuzzClient client;
        tally.expect(client.connected(), "client " + std::to_string(number) + " connects");
        if (!client.connected())
            continue;
        for (int i = 0; i < messagesPerClient; ++i) {
            const std::string message = randomMessage(random);
            const std::string tag = "client " + std::to_string(number) + " message " + std::to_string(i) + " (" +
                                    std::to_string(message.size()) + " bytes)";
            ++tally.sent[sizeClass(message.size())];
            std::optional<std::int32_t> wanted;
            if (message.size() == 4) {
                std::int32_t code = 0;
                std::memcpy(&code, message.data(), sizeof code);
                wanted = code == SERVICE_COMMAND_PING ? SERVICE_REPLY_OK
                         : code == SERVICE_COMMAND_LOCK_DNS_LEAKS
                             ? (++wantedLocks, lockResult ? SERVICE_REPLY_OK : SERVICE_REPLY_FAIL)
                         : code == SERVICE_COMMAND_UNLOCK_DNS_LEAKS
                             ? (++wantedUnlocks, unlockResult ? SERVICE_REPLY_OK : SERVICE_REPLY_FAIL)
                             : SERVICE_REPLY_UNKNOWN_COMMAND;
            } else if (!message.empty() && message.size() < 4) {
                wanted = SERVICE_REPLY_UNKNOWN_COMMAND;
            }
            client.send(message);
            const std::optional<std::int32_t> reply = client.receive();
            tally.expect(!client.timedOut(), tag + ": answered or dropped, not left waiting");
            if (client.timedOut()) {
                ++timeouts;
                break;
            }
            tally.expect(reply == wanted, tag + ": reply " + (reply ? std::to_string(*reply) : "none") +
                                              ", wanted " + (wanted ? std::to_string(*wanted) : "none"));
            if (!reply) {
                ++dropped;
                break;
            }
            ++answered;
        }
        tally.expect(locks == wantedLocks && unlocks == wantedUnlocks,
                     "client " + std::to_string(number) + ": library called only for 4-byte commands");
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    FuzzClient last;
    const std::int32_t ping = SERVICE_COMMAND_PING;
    tally.expect(last.connected() && last.send(std::string(reinterpret_cast<const char*>(&ping), sizeof ping)) &&
                     last.receive() == SERVICE_REPLY_OK,
                 "the server still answers a PING");
    tally.expect(!serverReturned, "the server is still serving");
    tally.expect(cleanups == 0, "no clean-up while the client process lives");
    SetEvent(terminate.get());
    server.join();
    tally.expect(cleanups == 1, "one clean-up when the server stops");

    std::printf("messages sent:");
    for (const auto& [size, count] : tally.sent)
        std::printf(" %s %d,", size.c_str(), count);
    std::printf("\nreplies %d, connections dropped %d, unanswered %d; library calls: lock %d (wanted %d), "
                "unlock %d (wanted %d), cleanup %d\n",
                answered, dropped, timeouts, locks.load(), wantedLocks, unlocks.load(), wantedUnlocks,
                cleanups.load());
    std::printf("%d clients in %.1f s\n%d checks, %d failed\n", clients, elapsed, tally.checks, tally.failures);
    LogSettings::replace(LogSettings::defaultPath(), 0, true);
    return tally.failures == 0 ? 0 : 1;
}
