#include "tarn/logger/cs_logger.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "tarn/paths.h"

namespace {

std::mutex& CaptureMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<CSLogger::Capture*>& Captures() {
    static std::vector<CSLogger::Capture*> captures;
    return captures;
}

const char* PriorityName(int priority) {
    switch (priority) {
        case 0:
            return "error";
        case 1:
            return "warning";
        case 2:
            return "info";
        default:
            return "trace";
    }
}

// The file is opened per line so that a log file removed or rotated underneath a
// long-lived process is recreated rather than written into the void.
void AppendToLogFile(const std::string& line) {
    int fd = open(TarnPaths::kLogFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0) {
        return;
    }
    ssize_t ignored = write(fd, line.data(), line.size());
    (void)ignored;
    close(fd);
}

}  // namespace

void CSLogger::Log(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* text = nullptr;
    int rc = vasprintf(&text, format, args);
    va_end(args);
    if (rc < 0) {
        return;
    }
    std::string message(text, static_cast<size_t>(rc));
    free(text);

    std::string line = std::string("[") + PriorityName(priority) + "] " + message + "\n";
    AppendToLogFile(line);
    if (priority == kError) {
        fputs(line.c_str(), stderr);
    }
    std::lock_guard<std::mutex> lock(CaptureMutex());
    for (Capture* capture : Captures()) {
        capture->Record(priority, message);
    }
}

CSLogger::Capture::Capture() {
    std::lock_guard<std::mutex> lock(CaptureMutex());
    Captures().push_back(this);
}

CSLogger::Capture::~Capture() {
    std::lock_guard<std::mutex> lock(CaptureMutex());
    auto& all = Captures();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void CSLogger::Capture::Record(int priority, const std::string& text) {
    lines_.push_back({priority, text});
}

std::vector<CSLogger::Line> CSLogger::Capture::Lines() const {
    std::lock_guard<std::mutex> lock(CaptureMutex());
    return lines_;
}

bool CSLogger::Capture::Contains(int priority, const std::string& text) const {
    std::lock_guard<std::mutex> lock(CaptureMutex());
    return std::any_of(lines_.begin(), lines_.end(), [&](const Line& line) {
        return line.priority == priority && line.text == text;
    });
}

long CSLogger::Capture::IndexOf(const std::string& text) const {
    std::lock_guard<std::mutex> lock(CaptureMutex());
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].text == text) {
            return static_cast<long>(i);
        }
    }
    return -1;
}
