#include "tarn/logger/cs_logger.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

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

// A growable run of characters that appends with an inline capacity check and memcpy: log
// lines are assembled from many short pieces, and std::string's out-of-line append costs more
// than the copying itself.
class TextBuffer {
public:
    void Clear() { size_ = 0; }
    size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    const char* Data() const { return data_.get(); }
    std::string_view View() const { return {data_.get(), size_}; }

    void Append(const char* text, size_t length) {
        Reserve(length);
        std::memcpy(data_.get() + size_, text, length);
        size_ += length;
    }
    void Append(char c) {
        Reserve(1);
        data_[size_++] = c;
    }

    // Room for length more characters and the terminating NUL vsnprintf writes.
    char* Reserve(size_t length) {
        if (capacity_ - size_ <= length) {
            Grow(size_ + length + 1);
        }
        return data_.get() + size_;
    }
    void Extend(size_t length) { size_ += length; }

private:
    __attribute__((noinline)) void Grow(size_t needed) {
        size_t capacity = std::max<size_t>({needed, 2 * capacity_, 256});
        std::unique_ptr<char[]> grown(new char[capacity]);
        if (size_ > 0) {
            std::memcpy(grown.get(), data_.get(), size_);
        }
        data_ = std::move(grown);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// The log file stays open between writes; at most once a second the path is checked again,
// so a log file removed or rotated underneath a long-lived process is recreated rather than
// written into the void. Lines gather in buffer_ while a Batch lives and nothing forces them
// out; one write then carries many lines instead of one each.
class LogFile {
public:
    LogFile() { ForkedChild(); }

    // Appends the line of message; with echo it also goes to stderr, as it reads in the file.
    void Append(const char* priorityName, std::string_view message, bool flush, bool echo) {
        std::lock_guard<std::mutex> lock(mutex_);
        char* start = buffer_.Reserve(kPrefixRoom + message.size() + 1);
        char* line = WritePrefix(start, priorityName);
        std::memcpy(line, message.data(), message.size());
        line[message.size()] = '\n';
        size_t length = static_cast<size_t>(line - start) + message.size() + 1;
        buffer_.Extend(length);
        if (echo) {
            std::fwrite(start, 1, length, stderr);
        }
        if (flush || batches_ == 0 || unbuffered_ > 0 || buffer_.Size() >= kBufferLimit) {
            WriteBuffer();
        }
    }

    // Takes the process id the lines carry; again after fork(2), in the child.
    void ForkedChild() {
        char* end = std::to_chars(pidText_ + 1, pidText_ + sizeof(pidText_) - 2, getpid()).ptr;
        pidText_[0] = ' ';
        *end++ = ' ';
        *end++ = '[';
        pidLength_ = static_cast<size_t>(end - pidText_);
    }

    void Flush() {
        std::lock_guard<std::mutex> lock(mutex_);
        WriteBuffer();
    }

    void BeginBatch() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++batches_;
    }

    void EndBatch() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--batches_ == 0) {
            WriteBuffer();
        }
    }

    void BeginUnbuffered() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++unbuffered_;
        WriteBuffer();
    }

    void EndUnbuffered() {
        std::lock_guard<std::mutex> lock(mutex_);
        --unbuffered_;
    }

private:
    static constexpr size_t kBufferLimit = 64 * 1024;
    // The longest prefix: time and id texts copied whole, and the longest priority name.
    static constexpr size_t kPrefixRoom = 24 + 4 + 16 + 8 + 2;

    // Writes "2026-12-06T02:08:19.123Z 4242 [info] " at out, at most kPrefixRoom bytes, and
    // returns its end: the time in UTC in milliseconds, the process id and the priority. The
    // text up to the second is made once a second, not per line. The clock is the one the
    // kernel updates each tick (a few milliseconds): reading it costs a fifth of the precise
    // clock's, which would add a third to the cost of a line.
    char* WritePrefix(char* out, const char* priorityName) {
        timespec now;
        clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (now.tv_sec != second_) {
            tm parts;
            gmtime_r(&now.tv_sec, &parts);
            secondLength_ =
                std::strftime(secondText_, sizeof(secondText_), "%Y-%m-%dT%H:%M:%S.", &parts);
            second_ = now.tv_sec;
        }
        std::memcpy(out, secondText_, sizeof(secondText_));
        out += secondLength_;
        auto millis = static_cast<unsigned>(now.tv_nsec / 1000000);
        out[0] = static_cast<char>('0' + millis / 100);
        out[1] = static_cast<char>('0' + millis / 10 % 10);
        out[2] = static_cast<char>('0' + millis % 10);
        out[3] = 'Z';
        out += 4;
        std::memcpy(out, pidText_, sizeof(pidText_));
        out += pidLength_;
        size_t nameLength = std::strlen(priorityName);
        std::memcpy(out, priorityName, nameLength);
        out += nameLength;
        out[0] = ']';
        out[1] = ' ';
        return out + 2;
    }

    void WriteBuffer() {
        if (buffer_.Empty()) {
            return;
        }
        auto now = std::chrono::steady_clock::now();
        if (fd_ < 0 || now - checked_ > std::chrono::seconds(1)) {
            Reopen();
            checked_ = now;
        }
        const char* data = buffer_.Data();
        size_t left = buffer_.Size();
        while (fd_ >= 0 && left > 0) {
            ssize_t written = write(fd_, data, left);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                break;
            }
            data += written;
            left -= static_cast<size_t>(written);
        }
        buffer_.Clear();
    }

    void Reopen() {
        struct stat opened;
        struct stat named;
        if (fd_ >= 0 && fstat(fd_, &opened) == 0 && lstat(TarnPaths::kLogFile, &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            return;
        }
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = OpenLogFile();
    }

    // Opens the log file for appending, never through a symbolic link (of the file or of its
    // folder), and only when it is a regular file of this process's user: lines are never
    // appended to a file someone planted. A refusal is said once on stderr; nothing is logged.
    int OpenLogFile() {
        std::string folder = TarnPaths::kLogFile;
        folder.erase(folder.rfind('/'));
        struct stat status {};
        const char* problem = nullptr;
        int fd = -1;
        if (lstat(folder.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
            problem = "its folder is a symbolic link or not a folder";
        } else {
            fd = open(TarnPaths::kLogFile,
                      O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0640);
            if (fd < 0 && errno == ELOOP) {
                problem = "it is a symbolic link";
            } else if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
                                   status.st_uid != geteuid())) {
                problem = "it is not a regular file of this user";
                close(fd);
                fd = -1;
            }
        }
        if (problem && !refusalSaid_) {
            refusalSaid_ = true;
            std::fprintf(stderr, "Not logging to %s: %s\n", TarnPaths::kLogFile, problem);
        }
        return fd;
    }

    std::mutex mutex_;
    int fd_ = -1;
    bool refusalSaid_ = false;
    std::chrono::steady_clock::time_point checked_;
    TextBuffer buffer_;
    int batches_ = 0;
    int unbuffered_ = 0;
    time_t second_ = -1;
    char secondText_[24] = {};  // "2026-12-06T02:08:19."
    size_t secondLength_ = 0;
    char pidText_[16] = {};  // " 4242 ["
    size_t pidLength_ = 0;
};

LogFile& TheLogFile() {
    static LogFile* file = [] {
        pthread_atfork(nullptr, nullptr, [] { TheLogFile().ForkedChild(); });
        return new LogFile();  // never destroyed: threads may log during exit
    }();
    return *file;
}

// Lets Log skip the capture lock while no test captures lines.
std::atomic<int> captureCount{0};
// Lines up to this priority are echoed to stderr; none by default.
std::atomic<int> echoPriority{-1};

template <typename Number>
void AppendNumber(TextBuffer& out, Number number) {
    char* digits = out.Reserve(24);
    out.Extend(static_cast<size_t>(std::to_chars(digits, digits + 24, number).ptr - digits));
}

// Formats the conversions log lines mostly use (%s, %d, %u, %ld, %lu, %zu and %%) as printf
// would, without its machinery. False for a format with anything else (flags, widths,
// precision, other conversions); out and args are then not to be used.
bool FormatCommon(TextBuffer& out, const char* format, va_list args) {
    out.Clear();
    for (const char* p = format; *p != '\0'; ++p) {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            out.Append(p, std::strlen(p));
            return true;
        }
        out.Append(p, static_cast<size_t>(percent - p));
        p = percent + 1;
        if (*p == '%') {
            out.Append('%');
        } else if (*p == 's') {
            const char* string = va_arg(args, const char*);
            string = string != nullptr ? string : "(null)";
            out.Append(string, std::strlen(string));
        } else if (*p == 'd') {
            AppendNumber(out, va_arg(args, int));
        } else if (*p == 'u') {
            AppendNumber(out, va_arg(args, unsigned));
        } else if (*p == 'l' && p[1] == 'd') {
            AppendNumber(out, va_arg(args, long));
            ++p;
        } else if (*p == 'l' && p[1] == 'u') {
            AppendNumber(out, va_arg(args, unsigned long));
            ++p;
        } else if (*p == 'z' && p[1] == 'u') {
            AppendNumber(out, va_arg(args, size_t));
            ++p;
        } else {
            return false;
        }
    }
    return true;
}

// Any printf format; the length of the text, or a negative number when it cannot be made.
int FormatAny(TextBuffer& out, const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    out.Clear();
    constexpr size_t kFirstTry = 1024;
    int rc = vsnprintf(out.Reserve(kFirstTry), kFirstTry + 1, format, args);
    if (rc > static_cast<int>(kFirstTry)) {
        vsnprintf(out.Reserve(static_cast<size_t>(rc)), static_cast<size_t>(rc) + 1, format, again);
    }
    va_end(again);
    out.Extend(rc < 0 ? 0 : static_cast<size_t>(rc));
    return rc;
}

// The calling thread's line being formatted, reused from line to line. Reached through a call
// that is never inlined: inlined, the compiler looks the thread's copy up again for every
// piece appended to it.
__attribute__((noinline)) TextBuffer& LineText() {
    thread_local TextBuffer text;
    return text;
}

// The Hold of the calling thread, if any.
thread_local CSLogger::Hold* tHold = nullptr;

}  // namespace

void CSLogger::Log(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    TextBuffer& text = LineText();
    int rc = FormatCommon(text, format, args) ? static_cast<int>(text.Size())
                                              : FormatAny(text, format, again);
    va_end(args);
    va_end(again);
    if (rc < 0) {
        return;
    }
    std::string_view message = text.View();
    if (tHold != nullptr) {
        tHold->Keep(priority, message.data(), message.size());
        return;
    }
    Emit(priority, message);
}

void CSLogger::Emit(int priority, std::string_view message) {
    TheLogFile().Append(PriorityName(priority), message, priority == kError,
                        priority <= echoPriority.load(std::memory_order_relaxed));
    if (captureCount.load(std::memory_order_acquire) == 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(CaptureMutex());
    for (Capture* capture : Captures()) {
        capture->Record(priority, std::string(message));
    }
}

void CSLogger::EchoToStderr(int upToPriority) {
    echoPriority.store(upToPriority, std::memory_order_relaxed);
}

void CSLogger::Flush() {
    TheLogFile().Flush();
}

CSLogger::Batch::Batch() {
    TheLogFile().BeginBatch();
}

CSLogger::Batch::~Batch() {
    TheLogFile().EndBatch();
}

CSLogger::Unbuffered::Unbuffered() {
    TheLogFile().BeginUnbuffered();
}

CSLogger::Unbuffered::~Unbuffered() {
    TheLogFile().EndUnbuffered();
}

CSLogger::Hold::Hold() : outer_(tHold) {
    tHold = this;
}

CSLogger::Hold::~Hold() {
    if (tHold == this) {
        tHold = outer_;
    }
}

void CSLogger::Hold::Keep(int priority, const char* text, size_t length) {
    constexpr size_t kBlockBytes = 256 * 1024;
    const size_t needed = sizeof priority + sizeof length + length;
    if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < needed) {
        blocks_.emplace_back().reserve(std::max(kBlockBytes, needed));
    }
    std::string& block = blocks_.back();
    block.append(reinterpret_cast<const char*>(&priority), sizeof priority);
    block.append(reinterpret_cast<const char*>(&length), sizeof length);
    block.append(text, length);
}

void CSLogger::Hold::Release() {
    std::vector<std::string> blocks;
    blocks.swap(blocks_);
    for (const std::string& lines : blocks) {
        for (size_t at = 0; at < lines.size();) {
            int priority;
            size_t length;
            std::memcpy(&priority, lines.data() + at, sizeof priority);
            std::memcpy(&length, lines.data() + at + sizeof priority, sizeof length);
            at += sizeof priority + sizeof length;
            Emit(priority, std::string_view(lines.data() + at, length));
            at += length;
        }
    }
}

CSLogger::Capture::Capture() {
    std::lock_guard<std::mutex> lock(CaptureMutex());
    Captures().push_back(this);
    captureCount.fetch_add(1, std::memory_order_release);
}

CSLogger::Capture::~Capture() {
    std::lock_guard<std::mutex> lock(CaptureMutex());
    auto& all = Captures();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    captureCount.fetch_sub(1, std::memory_order_release);
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
