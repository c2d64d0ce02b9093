// A batch's conversions in a few long-lived worker processes. Each file is
// converted in a process of its own state, away from the batch (a memory
// failure or a crash on a hostile file ends that worker, not the batch),
// yet a worker converts file after file: a process for each file would
// spend more on its start (the copy of the batch's mappings, the library's
// first calls bound again, fresh pages for every buffer) than a small frame
// takes to convert.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace dirira_tool {

// Converts file `index` in a worker, its standard output held: 0 or not;
// `handed` takes what the batch is to know of it (the names it wrote).
using WorkerTask = std::function<int(std::size_t index, std::vector<std::string> &handed)>;

// How a task ended, told in the batch.
struct TaskEnd {
    int result = -1;     // the task's result; -1 when it has none
    std::string lost;    // "" or why it has none: its worker could not start or ended during it
    std::string printed; // what the task printed on standard output
    std::vector<std::string> handed;
};
using TaskDone = std::function<void(std::size_t index, const TaskEnd &end)>;

// Runs `task` for 0..count-1 in at most `workers` processes, calling
// `done` here as each ends, in the order they end. A worker that ends
// during a task is replaced while tasks remain.
void run_in_workers(std::size_t count, int workers, const WorkerTask &task, const TaskDone &done);

} // namespace dirira_tool
