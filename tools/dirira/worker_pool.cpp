#include "tools/dirira/worker_pool.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/dirira/staged_outputs.h"

namespace dirira_tool {
namespace {

constexpr std::uint64_t kNoTask = ~std::uint64_t(0);

// One worker: a socket to it (tasks go out, results come back; a socket,
// not a pipe, so that writing to a worker that died is an error, not a
// SIGPIPE), and the file that holds its standard output.
struct Worker {
    pid_t pid = -1;
    int socket = -1;
    std::uint64_t task = kNoTask;
    HeldOutput printed;
};

bool send_all(int socket, const void *bytes, std::size_t size) {
    return send(socket, bytes, size, MSG_NOSIGNAL) == ssize_t(size);
}

bool receive_all(int socket, void *bytes, std::size_t size) {
    return size == 0 || recv(socket, bytes, size, MSG_WAITALL) == ssize_t(size);
}

// A task's answer on the socket: its result, how many strings, then each
// string's length and bytes.
bool send_answer(int socket, std::int32_t result, const std::vector<std::string> &handed) {
    const std::uint32_t count = std::uint32_t(handed.size());
    bool sent = send_all(socket, &result, sizeof result) && send_all(socket, &count, sizeof count);
    for (const std::string &text : handed) {
        const std::uint32_t length = std::uint32_t(text.size());
        sent = sent && send_all(socket, &length, sizeof length) && send_all(socket, text.data(), text.size());
    }
    return sent;
}

// The names a worker hands back are paths, so a length beyond PATH_MAX is a
// broken answer, not a name to allocate for.
constexpr std::uint32_t kLongestHanded = 1 << 16;

bool receive_answer(int socket, TaskEnd &end) {
    std::int32_t result = -1;
    std::uint32_t count = 0;
    if (!receive_all(socket, &result, sizeof result) || !receive_all(socket, &count, sizeof count))
        return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t length = 0;
        if (!receive_all(socket, &length, sizeof length) || length > kLongestHanded)
            return false;
        std::string text(length, '\0');
        if (!receive_all(socket, &text[0], length))
            return false;
        end.handed.push_back(std::move(text));
    }
    end.result = result;
    return true;
}

[[noreturn]] void serve(int socket, const WorkerTask &task) {
    std::uint64_t index = 0;
    while (receive_all(socket, &index, sizeof index)) {
        std::vector<std::string> handed;
        const std::int32_t result = task(std::size_t(index), handed);
        std::fflush(nullptr);
        if (!send_answer(socket, result, handed))
            break;
    }
    _exit(0);
}

// Forks a worker: "" or why the system refused.
std::string start(Worker &worker, const std::vector<Worker> &others, const WorkerTask &task) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return std::string("cannot start a process: ") + std::strerror(errno);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // The other workers' sockets stay theirs: a copy here would keep
        // one of them from seeing the batch hang up.
        for (const Worker &other : others)
            if (other.socket >= 0)
                close(other.socket);
        close(ends[0]);
        worker.printed.capture();
        serve(ends[1], task);
    }
    const int error = errno;
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        return std::string("cannot start a process: ") + std::strerror(error);
    }
    worker.pid = pid;
    worker.socket = ends[0];
    return "";
}

bool hand(Worker &worker, std::uint64_t index) {
    worker.task = index;
    return send_all(worker.socket, &index, sizeof index);
}

// Closes the worker's socket, which ends it, and collects it: how it ended.
std::string stop(Worker &worker) {
    close(worker.socket);
    worker.socket = -1;
    int status = 0;
    while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
    worker.pid = -1;
    if (WIFSIGNALED(status))
        return "its conversion process ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
               strsignal(WTERMSIG(status)) + ")";
    return "its conversion process exited with status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

} // namespace

void run_in_workers(std::size_t count, int workers, const WorkerTask &task, const TaskDone &done) {
    std::vector<Worker> pool(std::size_t(std::max<long long>(1, std::min<long long>(workers, (long long)count))));
    std::size_t next = 0, finished = 0;
    const auto end_task = [&](std::size_t index, TaskEnd end) {
        done(index, end);
        ++finished;
    };
    // The next task to a worker, started or restarted as needed; a task
    // that cannot be handed over ends here.
    const auto give_work = [&](Worker &worker) {
        while (next < count) {
            if (worker.pid < 0) {
                if (std::string why = start(worker, pool, task); !why.empty()) {
                    end_task(next++, {-1, why, "", {}});
                    continue;
                }
            }
            if (hand(worker, next++))
                return;
            const std::uint64_t index = worker.task;
            worker.task = kNoTask;
            end_task(std::size_t(index), {-1, stop(worker), "", {}});
        }
    };
    for (Worker &worker : pool)
        give_work(worker);
    std::vector<pollfd> waiting;
    while (finished < count) {
        waiting.clear();
        for (const Worker &worker : pool)
            if (worker.task != kNoTask)
                waiting.push_back({worker.socket, POLLIN, 0});
        if (poll(waiting.data(), waiting.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (const pollfd &ready : waiting) {
            if (ready.revents == 0)
                continue;
            Worker &worker =
                *std::find_if(pool.begin(), pool.end(), [&](const Worker &w) { return w.socket == ready.fd; });
            TaskEnd end;
            const bool answered = receive_answer(worker.socket, end);
            const std::uint64_t index = worker.task;
            worker.task = kNoTask;
            end.printed = worker.printed.take();
            if (!answered)
                end = {-1, stop(worker), "", {}};
            end_task(std::size_t(index), std::move(end));
            give_work(worker);
        }
    }
    for (Worker &worker : pool)
        if (worker.pid >= 0)
            stop(worker);
}

} // namespace dirira_tool
