#include "tarn/logger/cs_logger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

// The log file stays open between lines; at most once a second the path is checked again,
// so a log file removed or rotated underneath a long-lived process is recreated rather than
// written into the void.
class LogFile {
public:
    void Append(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto now = std::chrono::steady_clock::now();
        if (fd_ < 0 || now - checked_ > std::chrono::seconds(1)) {
            Reopen();
            checked_ = now;
        }
        if (fd_ >= 0) {
            ssize_t ignored = write(fd_, line.data(), line.size());
            (void)ignored;
        }
    }

private:
    void Reopen() {
        struct stat opened;
        struct stat named;
        if (fd_ >= 0 && fstat(fd_, &opened) == 0 && stat(TarnPaths::kLogFile, &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            return;
        }
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = open(TarnPaths::kLogFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    }

    std::mutex mutex_;
    int fd_ = -1;
    std::chrono::steady_clock::time_point checked_;
};

void AppendToLogFile(const std::string& line) {
    static LogFile* file = new LogFile();  // never destroyed: threads may log during exit
    file->Append(line);
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
