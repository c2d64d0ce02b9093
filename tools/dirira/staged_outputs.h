// A batch's outputs made durable together. Each conversion of `convert -o
// DIR` leaves its output staged beside its target (bmpfile::stage_writes_for),
// and what it printed on standard output held; the batch then commits them
// in groups: one sync for the group, the renames, one flush of the folder,
// in place of two waits for the disk for every file. Only then is each
// line printed, so that a line always names a file that is in place, and a
// batch killed part way loses at most its last group, which a rerun with
// --skip-existing converts again.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace dirira_tool {

// What one conversion prints on standard output, kept in an anonymous file
// until its output is in place. The conversion's process (a batch's child,
// or the batch itself around one conversion) sends its standard output
// there with capture(), and the batch reads it back with take().
class HeldOutput {
public:
    HeldOutput();
    ~HeldOutput();
    HeldOutput(const HeldOutput &) = delete;
    HeldOutput &operator=(const HeldOutput &) = delete;
    HeldOutput(HeldOutput &&other) noexcept;
    HeldOutput &operator=(HeldOutput &&other) noexcept;

    // From now on this process's standard output goes to the held file.
    void capture();
    // What the held file has received; it is emptied.
    std::string take();

private:
    int fd_ = -1; // -1: none could be made, and what is printed goes straight out
};

// The batch itself around one conversion: standard output held while it runs, then given back.
class CapturedHere {
public:
    explicit CapturedHere(HeldOutput &held);
    ~CapturedHere();
    CapturedHere(const CapturedHere &) = delete;
    CapturedHere &operator=(const CapturedHere &) = delete;

private:
    int saved_;
};

class StagedOutputs {
public:
    // A group is committed once it holds this many conversions, or once its
    // first output has waited this long: a night's frames appear as the
    // batch goes, not all at its end.
    static constexpr std::size_t kGroupFiles = 128;
    static constexpr std::chrono::seconds kGroupWait{2};

    // In the background, each group is committed on a thread of its own
    // while the conversions go on (one group at a time): the workers of a
    // parallel batch need not wait for the disk. A batch that converts in
    // this process commits in the foreground, since it sends its standard
    // output elsewhere while it converts.
    explicit StagedOutputs(bool background) : background_(background) {}
    ~StagedOutputs() { wait_for_commit(); }
    StagedOutputs(const StagedOutputs &) = delete;
    StagedOutputs &operator=(const StagedOutputs &) = delete;

    // A conversion of `input` that left `outputs` staged and printed `printed`.
    void add(const std::string &input, std::vector<std::string> outputs, std::string printed);
    // A conversion of `input` that failed and said why; what it staged
    // before it failed goes.
    void fail(const std::string &input, const std::vector<std::string> &staged);
    // Commits the group when it is full or has waited long enough.
    void commit_when_due();
    // Commits what is staged and waits until every group is committed.
    void finish();
    // The inputs that failed: in their conversion, or at their commit (an
    // output not in place is named with why, its lines not printed).
    const std::vector<std::string> &failed() const { return failed_; }

private:
    struct Conversion {
        std::string input;
        std::vector<std::string> outputs;
        std::string printed;
    };
    void commit();
    void wait_for_commit();
    static std::vector<std::string> commit_group(const std::vector<Conversion> &group);

    bool background_;
    std::vector<Conversion> group_;
    std::vector<std::string> failed_;
    std::chrono::steady_clock::time_point first_;
    std::thread committing_;
    std::vector<std::string> failedAtCommit_; // the committing thread's, read once it is joined
};

} // namespace dirira_tool
