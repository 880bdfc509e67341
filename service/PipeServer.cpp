#include "PipeServer.h"

#include "CommandExecution.h"
#include "LogRecord.h"
#include "PipeSecurity.h"
#include "ServicePipe.h"
#include "WindowsErrorText.h"

#include <algorithm>

namespace {

constexpr DWORD pipeDefaultTimeoutMs = 5000;
constexpr DWORD messageSize = 4;

// A host sends its command at once and reads the reply at once; a client
// that takes longer is dropped.
constexpr std::chrono::milliseconds exchangeLimit(3000);
// Cancelled I/O ends at once; this only bounds the wait for it.
constexpr DWORD cancelLimitMs = 5000;
// Nothing is due while the server listens; its wait is bounded all the same.
constexpr DWORD idleWaitMs = 60000;

// Only a process of this machine may open the pipe, and only as a client:
// the service must be the first and only server end of its name.
constexpr DWORD pipeOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
constexpr DWORD pipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;

void logFailure(LogLevel level, const char* what, DWORD code)
{
    log(level, what, windowsErrorText(code));
}

} // namespace

PipeServer::PipeServer(HANDLE terminate, LibraryCalls library)
    : terminate_(terminate)
    , watch_(std::move(library))
{
}

// The kernel writes into the I/O block until an operation ends, so no
// operation may outlive the block, whichever way the server ended.
PipeServer::~PipeServer()
{
    finishPendingIo();
}

bool PipeServer::start()
{
    log(LogLevel::Info, "Starting named pipe server ...");
    ioEvent_.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (!ioEvent_) {
        logFailure(LogLevel::Error, "CreateEvent() failed: ", GetLastError());
        return false;
    }
    io_->overlapped.hEvent = ioEvent_.get();
    const LocalMemory descriptor = pipeSecurityDescriptor();
    if (!descriptor)
        return false;
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor.get(), FALSE};
    pipe_.reset(CreateNamedPipeW(servicePipeName, pipeOpenMode, pipeMode, 1, messageSize, messageSize,
                                 pipeDefaultTimeoutMs, &security));
    if (!pipe_) {
        logFailure(LogLevel::Error, "CreateNamedPipe() failed: ", GetLastError());
        return false;
    }
    log(LogLevel::Info, "Named pipe server started");
    return true;
}

ServiceExit PipeServer::serve()
{
    listen();
    for (;;) {
        const Wake wake = waitForEvent();
        if (wake.cause == Cause::Stop) {
            terminate();
            return ServiceExit::Requested;
        }
        if (wake.cause == Cause::Fault) {
            log(LogLevel::Fatal, "WaitForMultipleObjects(): index out of range");
            return ServiceExit::Failed;
        }
        if (handle(wake) == Next::Stop)
            return ServiceExit::Failed;
    }
}

// The wait reports the first of the handles that is signalled, so their
// order is their priority: the stop request first, then the end of a watched
// process, and the pipe last, so that neither a busy client nor a pipe that
// keeps failing delays the others. A pausing server leaves the pipe out.
PipeServer::Wake PipeServer::waitForEvent() const
{
    std::vector<HANDLE> handles = watch_.processes();
    const std::size_t processes = handles.size();
    handles.insert(handles.begin(), terminate_);
    if (state_ != State::Pausing)
        handles.push_back(ioEvent_.get());
    const DWORD signalled =
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, waitLimitMs());
    if (signalled == WAIT_TIMEOUT)
        return {Cause::Time};
    if (signalled >= WAIT_OBJECT_0 + handles.size())
        return {Cause::Fault};
    const std::size_t index = signalled - WAIT_OBJECT_0;
    if (index == 0)
        return {Cause::Stop};
    if (index <= processes)
        return {Cause::ProcessEnd, index - 1};
    return {Cause::Pipe};
}

DWORD PipeServer::waitLimitMs() const
{
    if (!deadline_)
        return idleWaitMs;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - Clock::now());
    return static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// A process end, the pipe's I/O event or the end of the wait's time.
PipeServer::Next PipeServer::handle(const Wake& wake)
{
    if (wake.cause == Cause::Pipe)
        return pipeEvent();
    if (wake.cause == Cause::Time)
        return timeUp();
    watch_.processEnded(wake.process);
    return Next::Wait;
}

PipeServer::Next PipeServer::pipeEvent()
{
    const Next next = pendingIo_ ? collectResult() : Next::Operate;
    return next == Next::Operate ? startOperation() : next;
}

// A wait may time out a little early, or on the idle bound alone. A pause
// ends with the end of the client the failed connect left, if any.
PipeServer::Next PipeServer::timeUp()
{
    if (!deadline_ || Clock::now() < *deadline_)
        return Next::Wait;
    if (state_ != State::Pausing)
        return dropClient();
    disconnectAndReconnect();
    return Next::Wait;
}

PipeServer::Next PipeServer::dropClient()
{
    log(LogLevel::Warning, "Client dropped: no exchange finished within ", exchangeLimit.count(), " ms");
    if (!finishPendingIo())
        return Next::Stop;
    disconnectAndReconnect();
    return Next::Wait;
}

void PipeServer::listen()
{
    const Connect connect = connectToNewClient();
    if (connect == Connect::Failed) {
        pause();
        return;
    }
    backoff_.succeeded();
    pendingIo_ = connect == Connect::Pending;
    if (!pendingIo_) {
        awaitCommand();
        return;
    }
    state_ = State::Connecting;
    deadline_.reset();
}

void PipeServer::pause()
{
    const auto length = backoff_.failed();
    log(LogLevel::Warning, "Listening again in ", length.count(), " ms");
    state_ = State::Pausing;
    pendingIo_ = false;
    deadline_ = Clock::now() + length;
}

// The client's time starts at its connect and again after each reply.
void PipeServer::awaitCommand()
{
    state_ = State::Reading;
    deadline_ = Clock::now() + exchangeLimit;
}

// A client that came before the call is connected already; the I/O event is
// set by hand so that the loop goes on to its read.
PipeServer::Connect PipeServer::connectToNewClient()
{
    if (ConnectNamedPipe(pipe_.get(), &io_->overlapped)) {
        logFailure(LogLevel::Error, "ConnectNamedPipe() fault: ", GetLastError());
        return Connect::Failed;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING)
        return Connect::Pending;
    if (error != ERROR_PIPE_CONNECTED) {
        logFailure(LogLevel::Error, "ConnectNamedPipe() fault: ", error);
        return Connect::Failed;
    }
    log(LogLevel::Trace, "Client connected");
    if (SetEvent(ioEvent_.get()))
        return Connect::Connected;
    logFailure(LogLevel::Error, "ConnectNamedPipe() fault: ", GetLastError());
    return Connect::Failed;
}

void PipeServer::disconnectAndReconnect()
{
    if (!DisconnectNamedPipe(pipe_.get()))
        logFailure(LogLevel::Error, "DisconnectNamedPipe() fault: ", GetLastError());
    listen();
}

void PipeServer::terminate()
{
    log(LogLevel::Info, "'Terminate' event found");
    finishPendingIo();
    pipe_.reset();
    ioEvent_.reset();
    watch_.stop();
    log(LogLevel::Info, "Server stopped");
}

// True once no operation is pending. One that does not end even when
// cancelled keeps its I/O block for good: the kernel may still write into
// it. The server cannot go on with such a pipe and gives up.
bool PipeServer::finishPendingIo()
{
    if (!pendingIo_)
        return true;
    pendingIo_ = false;
    if (!CancelIoEx(pipe_.get(), &io_->overlapped) && GetLastError() != ERROR_NOT_FOUND)
        logFailure(LogLevel::Error, "CancelIoEx() failed: ", GetLastError());
    if (pendingIoEnded())
        return true;
    log(LogLevel::Error, "Pipe I/O still pending ", cancelLimitMs, " ms after it was cancelled");
    static_cast<void>(io_.release());
    return false;
}

bool PipeServer::pendingIoEnded()
{
    if (WaitForSingleObject(ioEvent_.get(), cancelLimitMs) == WAIT_FAILED)
        logFailure(LogLevel::Error, "WaitForSingleObject() failed: ", GetLastError());
    return HasOverlappedIoCompleted(&io_->overlapped);
}

PipeServer::Next PipeServer::collectResult()
{
    DWORD bytes = 0;
    const bool done = GetOverlappedResult(pipe_.get(), &io_->overlapped, &bytes, FALSE);
    switch (state_) {
    case State::Connecting:
        if (!done) {
            logFailure(LogLevel::Error, "GetOverlappedResult() fault: ", GetLastError());
            return Next::Stop;
        }
        log(LogLevel::Trace, "Client connected");
        awaitCommand();
        return Next::Operate;
    case State::Reading:
        if (!done || bytes == 0) {
            disconnectAndReconnect();
            return Next::Wait;
        }
        bytesRead_ = bytes;
        state_ = State::Writing;
        return Next::Operate;
    case State::Writing:
        if (!done || bytes != bytesToWrite_) {
            disconnectAndReconnect();
            return Next::Wait;
        }
        awaitCommand();
        return Next::Operate;
    case State::Pausing: break;
    }
    log(LogLevel::Fatal, "GetOverlappedResult(): Invalid pipe state");
    return Next::Stop;
}

PipeServer::Next PipeServer::startOperation()
{
    switch (state_) {
    case State::Reading: return startRead();
    case State::Writing: return startWrite();
    case State::Connecting:
    case State::Pausing: break;
    }
    log(LogLevel::Fatal, "ReadFile(): Invalid pipe state");
    return Next::Stop;
}

// A message longer than the command fails the read (ERROR_MORE_DATA), is
// never executed and costs the client its connection.
PipeServer::Next PipeServer::startRead()
{
    const bool done = ReadFile(pipe_.get(), &io_->command, sizeof io_->command, &bytesRead_, &io_->overlapped);
    return afterStart(done, bytesRead_ != 0, State::Writing);
}

PipeServer::Next PipeServer::startWrite()
{
    processCommand();
    DWORD written = 0;
    const bool done = WriteFile(pipe_.get(), &io_->reply, sizeof io_->reply, &written, &io_->overlapped);
    return afterStart(done, written == bytesToWrite_, State::Reading);
}

// An operation that completed at once moves on to the next state (the I/O
// event stays signalled, so the loop comes straight back); a pending one is
// collected later; anything else costs the client its connection.
PipeServer::Next PipeServer::afterStart(bool done, bool complete, State next)
{
    if (done && complete) {
        if (next == State::Reading)
            awaitCommand();
        else
            state_ = next;
        pendingIo_ = false;
        return Next::Wait;
    }
    if (!done && GetLastError() == ERROR_IO_PENDING) {
        pendingIo_ = true;
        return Next::Wait;
    }
    pendingIo_ = false;
    disconnectAndReconnect();
    return Next::Wait;
}

// A message shorter than a command executes nothing, but its sender still
// hears that it was not understood. Only a command the server knows makes
// its sender a client to watch.
void PipeServer::processCommand()
{
    log(LogLevel::Trace, "Command received");
    if (bytesRead_ == sizeof io_->command) {
        const DWORD client = clientProcessId();
        io_->reply = executeCommand(io_->command, watch_.callsFor(client));
        if (io_->reply != SERVICE_REPLY_UNKNOWN_COMMAND)
            watch_.commandExecuted(client);
        bytesToWrite_ = sizeof io_->reply;
        log(LogLevel::Trace, "Reply sent");
        return;
    }
    log(LogLevel::Error, "Invalid command size");
    io_->reply = SERVICE_REPLY_UNKNOWN_COMMAND;
    bytesToWrite_ = sizeof io_->reply;
}

// Asked for each command rather than once per connection: a connection
// proves nothing about its client until it sends a command.
DWORD PipeServer::clientProcessId() const
{
    ULONG processId = 0;
    if (!GetNamedPipeClientProcessId(pipe_.get(), &processId)) {
        logFailure(LogLevel::Error, "GetNamedPipeClientProcessId() failed: ", GetLastError());
        return 0;
    }
    return processId;
}

ServiceExit runPipeServer(HANDLE terminate, const LibraryCalls& library)
{
    PipeServer server(terminate, library);
    if (!server.start())
        return ServiceExit::NotStarted;
    return server.serve();
}
