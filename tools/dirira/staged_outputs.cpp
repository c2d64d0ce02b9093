#include "tools/dirira/staged_outputs.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>

#include "bmpfile/durable_write.h"
#include "tools/dirira/commands.h"

namespace dirira_tool {

HeldOutput::HeldOutput() : fd_(memfd_create("dirira-held-output", MFD_CLOEXEC)) {}

HeldOutput::~HeldOutput() {
    if (fd_ >= 0)
        close(fd_);
}

HeldOutput::HeldOutput(HeldOutput &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

HeldOutput &HeldOutput::operator=(HeldOutput &&other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
}

void HeldOutput::capture() {
    std::fflush(stdout);
    if (fd_ >= 0)
        dup2(fd_, STDOUT_FILENO);
}

std::string HeldOutput::take() {
    std::string text;
    char chunk[4096];
    ssize_t got = 0;
    for (off_t at = 0; fd_ >= 0 && (got = pread(fd_, chunk, sizeof chunk, at)) > 0; at += got)
        text.append(chunk, std::size_t(got));
    // The writer's descriptor shares this one's offset: back to the start,
    // or its next line would follow a hole.
    if (fd_ >= 0 && (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0))
        text.clear(); // cannot happen to a memfd; never print a line twice
    return text;
}

CapturedHere::CapturedHere(HeldOutput &held) : saved_((std::fflush(stdout), dup(STDOUT_FILENO))) { held.capture(); }

CapturedHere::~CapturedHere() {
    std::fflush(stdout);
    if (saved_ >= 0) {
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
}

void StagedOutputs::add(const std::string &input, std::vector<std::string> outputs, std::string printed) {
    if (group_.empty())
        first_ = std::chrono::steady_clock::now();
    group_.push_back({input, std::move(outputs), std::move(printed)});
}

void StagedOutputs::fail(const std::string &input, const std::vector<std::string> &staged) {
    for (const std::string &output : staged)
        bmpfile::discard_staged(output);
    failed_.push_back(input);
}

void StagedOutputs::commit_when_due() {
    if (group_.size() >= kGroupFiles || (!group_.empty() && std::chrono::steady_clock::now() - first_ >= kGroupWait))
        commit();
}

// A conversion's lines are printed when every output it wrote is in place;
// one that is not is named with why, and the conversion counts as failed.
std::vector<std::string> StagedOutputs::commit_group(const std::vector<Conversion> &group) {
    std::vector<std::string> targets, failed;
    for (const Conversion &conversion : group)
        targets.insert(targets.end(), conversion.outputs.begin(), conversion.outputs.end());
    const std::vector<std::string> why = bmpfile::commit_staged(targets);
    std::size_t next = 0;
    for (const Conversion &conversion : group) {
        bool whole = true;
        for (const std::string &output : conversion.outputs)
            if (const std::string &reason = why[next++]; !reason.empty()) {
                refuse_output(output.c_str(), reason);
                whole = false;
            }
        if (whole)
            std::fputs(conversion.printed.c_str(), stdout);
        else
            failed.push_back(conversion.input);
    }
    std::fflush(stdout);
    return failed;
}

void StagedOutputs::wait_for_commit() {
    if (!committing_.joinable())
        return;
    committing_.join();
    failed_.insert(failed_.end(), failedAtCommit_.begin(), failedAtCommit_.end());
    failedAtCommit_.clear();
}

void StagedOutputs::commit() {
    wait_for_commit();
    std::vector<Conversion> group = std::move(group_);
    group_.clear();
    if (group.empty())
        return;
    if (background_) {
        try {
            committing_ = std::thread([this, group = std::move(group)] { failedAtCommit_ = commit_group(group); });
            return;
        } catch (const std::system_error &) {
            // no thread to be had: committed here, as in the foreground
        }
    }
    const std::vector<std::string> failed = commit_group(group);
    failed_.insert(failed_.end(), failed.begin(), failed.end());
}

void StagedOutputs::finish() {
    commit();
    wait_for_commit();
}

} // namespace dirira_tool
