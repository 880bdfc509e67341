#include "FakeService.h"

#include "ChildProcess.h"
#include "ServicePipe.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <stdexcept>
#include <string>

// What the test and the service process share: the reply to give and the
// commands received, in a named section of memory.
struct FakeServiceBoard {
    std::atomic<int> reply;
    std::atomic<bool> alternateLocks;
    std::atomic<int> locks;
    std::atomic<int> count;
    std::atomic<bool> stopping;
    int commands[4096];
};

namespace {

const wchar_t* boardName = L"Global\\ZeravTestFakeServiceBoard";
constexpr DWORD stateLimitMs = 15000;

FakeServiceBoard* mapBoard(HANDLE mapping)
{
    return static_cast<FakeServiceBoard*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(FakeServiceBoard)));
}

int replyTo(FakeServiceBoard& board, int command)
{
    if (!board.alternateLocks || command != SERVICE_COMMAND_LOCK_DNS_LEAKS)
        return board.reply;
    return board.locks++ % 2 == 0 ? SERVICE_REPLY_FAIL : SERVICE_REPLY_OK;
}

void serve(FakeServiceBoard& board, HANDLE pipe)
{
    while (!board.stopping) {
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            break;
        std::int32_t command = 0;
        DWORD count = 0;
        while (!board.stopping && ReadFile(pipe, &command, sizeof command, &count, nullptr) && count == 4) {
            const int slot = board.count++;
            if (slot < static_cast<int>(std::size(board.commands)))
                board.commands[slot] = command;
            const std::int32_t reply = replyTo(board, command);
            WriteFile(pipe, &reply, sizeof reply, &count, nullptr);
        }
        DisconnectNamedPipe(pipe);
    }
}

SERVICE_STATUS_HANDLE statusHandle = nullptr;
FakeServiceBoard* serviceBoard = nullptr;

void report(DWORD state)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(statusHandle, &status);
}

// Wakes the blocking connect with a client of its own.
DWORD WINAPI control(DWORD code, DWORD, void*, void*)
{
    if (code != SERVICE_CONTROL_STOP)
        return NO_ERROR;
    serviceBoard->stopping = true;
    report(SERVICE_STOP_PENDING);
    PipeHandle wake(CreateFileW(servicePipeName, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return NO_ERROR;
}

void WINAPI fakeServiceMain(DWORD, wchar_t**)
{
    statusHandle = RegisterServiceCtrlHandlerExW(serviceName, control, nullptr);
    UniqueHandle<KernelHandleTraits> mapping(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, boardName));
    serviceBoard = mapping ? mapBoard(mapping.get()) : nullptr;
    PipeHandle pipe(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4, 4, 5000, nullptr));
    report(SERVICE_RUNNING);
    if (serviceBoard && pipe)
        serve(*serviceBoard, pipe.get());
    pipe.reset();
    if (serviceBoard)
        UnmapViewOfFile(serviceBoard);
    report(SERVICE_STOPPED);
}

ZERAV_CHILD_ROLE(fakeService)
{
    (void)args;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(serviceName), fakeServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}

bool waitForState(SC_HANDLE service, DWORD wanted, SERVICE_STATUS_PROCESS& status)
{
    for (DWORD waited = 0; waited < stateLimitMs; waited += 50) {
        DWORD needed = 0;
        if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                  &needed))
            return false;
        if (status.dwCurrentState == wanted)
            return true;
        Sleep(50);
    }
    return false;
}

// Whatever a test before left of the service, the real one or a fake, goes.
void removeService(SC_HANDLE manager)
{
    const ServiceHandle service(OpenServiceW(manager, serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service)
        return;
    SERVICE_STATUS_PROCESS status = {};
    ControlService(service.get(), SERVICE_CONTROL_STOP, reinterpret_cast<SERVICE_STATUS*>(&status));
    waitForState(service.get(), SERVICE_STOPPED, status);
    DeleteService(service.get());
}

std::wstring binaryPath()
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    return L"\"" + std::wstring(program) + L"\" --child=fakeService";
}

DWORD installAndStart()
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        throw std::runtime_error("OpenSCManager failed: " + std::to_string(GetLastError()));
    removeService(manager.get());
    const ServiceHandle service(CreateServiceW(manager.get(), serviceName, serviceName, SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                               binaryPath().c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    SERVICE_STATUS_PROCESS status = {};
    if (!service || !StartServiceW(service.get(), 0, nullptr) ||
        !waitForState(service.get(), SERVICE_RUNNING, status))
        throw std::runtime_error("the fake service did not start: " + std::to_string(GetLastError()));
    return status.dwProcessId;
}

} // namespace

FakeService::FakeService(int reply)
    : mapping_(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(FakeServiceBoard),
                                  boardName))
{
    if (!mapping_ || !(board_ = mapBoard(mapping_.get())))
        throw std::runtime_error("the fake service's board cannot be mapped");
    board_->reply = reply;
    board_->alternateLocks = false;
    board_->locks = 0;
    board_->count = 0;
    board_->stopping = false;
    processId_ = installAndStart();
    WaitNamedPipeW(servicePipeName, stateLimitMs);
}

FakeService::~FakeService()
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager)
        removeService(manager.get());
    UnmapViewOfFile(board_);
}

void FakeService::setReply(int reply)
{
    board_->reply = reply;
}

void FakeService::alternateLockReplies()
{
    board_->locks = 0;
    board_->alternateLocks = true;
}

std::vector<int> FakeService::commands()
{
    const int count = std::min<int>(board_->count, static_cast<int>(std::size(board_->commands)));
    return std::vector<int>(board_->commands, board_->commands + count);
}
