#include "tools/dirira/staged_outputs.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

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

void StagedOutputs::add(const std::string &input, const std::string &output, std::string printed) {
    if (inputs_.empty())
        first_ = std::chrono::steady_clock::now();
    inputs_.push_back(input);
    outputs_.push_back(output);
    printed_.push_back(std::move(printed));
}

void StagedOutputs::commit_when_due() {
    if (inputs_.size() >= kGroupFiles || (!inputs_.empty() && std::chrono::steady_clock::now() - first_ >= kGroupWait))
        commit();
}

void StagedOutputs::commit() {
    const std::vector<std::string> why = bmpfile::commit_staged(outputs_);
    for (std::size_t i = 0; i < why.size(); ++i) {
        if (why[i].empty()) {
            std::fputs(printed_[i].c_str(), stdout);
            continue;
        }
        refuse_output(outputs_[i].c_str(), why[i]);
        failed_.push_back(inputs_[i]);
    }
    std::fflush(stdout);
    inputs_.clear();
    outputs_.clear();
    printed_.clear();
}

} // namespace dirira_tool
