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
#include <climits>
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

// What follows the process id in a line's prefix: the priority's name and "] ". Copied whole,
// with the length telling how much of it counts.
struct PriorityText {
    char text[16];
    size_t length;
};

const PriorityText& PriorityTextOf(int priority) {
    static const PriorityText texts[] = {
        {"error] ", 7}, {"warning] ", 9}, {"info] ", 6}, {"trace] ", 7}};
    return texts[priority >= CSLogger::kError && priority <= CSLogger::kTrace ? priority
                                                                              : CSLogger::kTrace];
}

// A growable run of characters that appends with an inline capacity check and memcpy: log
// lines are assembled from many short pieces, and std::string's out-of-line append costs more
// than the copying itself.
class TextBuffer {
public:
    void Clear() { size_ = 0; }
    void Truncate(size_t size) { size_ = size; }
    size_t Size() const { return size_; }
    size_t Room() const { return capacity_ - size_; }
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
    // Extends the text to end, a pointer into the room Reserve gave.
    void ExtendTo(const char* end) { size_ = static_cast<size_t>(end - data_.get()); }

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

// The process id as lines carry it, " 4242 [": taken once, and again after fork(2) in the
// child.
class ProcessIdText {
public:
    ProcessIdText() { Take(); }

    void Take() {
        char* end = std::to_chars(text_ + 1, text_ + sizeof(text_) - 2, getpid()).ptr;
        text_[0] = ' ';
        *end++ = ' ';
        *end++ = '[';
        length_ = static_cast<size_t>(end - text_);
    }

    // Writes the text at out, which has room for 16 bytes, and returns its end.
    char* Write(char* out) const {
        std::memcpy(out, text_, sizeof(text_));
        return out + length_;
    }

private:
    char text_[16] = {};
    size_t length_ = 0;
};

ProcessIdText& TheProcessId() {
    static ProcessIdText* id = [] {
        pthread_atfork(nullptr, nullptr, [] { TheProcessId().Take(); });
        return new ProcessIdText();  // never destroyed: threads may log during exit
    }();
    return *id;
}

// Writes the start of a line, "2026-12-06T02:08:19.123Z 4242 [info] ": the time in UTC in
// milliseconds, the process id and the priority. The text up to the second is made once a
// second, not per line, so each writer of lines has a prefix of its own. The clock is the one
// the kernel updates each tick (a few milliseconds): reading it costs a fifth of the precise
// clock's, which would add a third to the cost of a line.
class LinePrefix {
public:
    // The most a prefix takes: time, id and priority texts are copied whole.
    static constexpr size_t kRoom = 32 + 16 + 16;

    char* Write(char* out, int priority) {
        timespec now;
        clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (now.tv_nsec != nanos_ || now.tv_sec != second_) {
            MakeTime(now);
        }
        std::memcpy(out, timeText_, sizeof(timeText_));
        out = TheProcessId().Write(out + timeLength_);
        const PriorityText& priorityText = PriorityTextOf(priority);
        std::memcpy(out, priorityText.text, sizeof(priorityText.text));
        return out + priorityText.length;
    }

private:
    // The clock moves once a tick: lines in between share the text of the time.
    void MakeTime(const timespec& now) {
        if (now.tv_sec != second_) {
            tm parts;
            gmtime_r(&now.tv_sec, &parts);
            secondLength_ =
                std::strftime(timeText_, sizeof(timeText_) - 4, "%Y-%m-%dT%H:%M:%S.", &parts);
            second_ = now.tv_sec;
        }
        char* out = timeText_ + secondLength_;
        auto millis = static_cast<unsigned>(now.tv_nsec / 1000000);
        out[0] = static_cast<char>('0' + millis / 100);
        out[1] = static_cast<char>('0' + millis / 10 % 10);
        out[2] = static_cast<char>('0' + millis % 10);
        out[3] = 'Z';
        timeLength_ = secondLength_ + 4;
        nanos_ = now.tv_nsec;
    }

    time_t second_ = -1;
    long nanos_ = -1;
    char timeText_[32] = {};  // "2026-12-06T02:08:19.123Z"
    size_t secondLength_ = 0;
    size_t timeLength_ = 0;
};

// Where a kept line's text lies in its block, without the prefix and the newline.
struct KeptMark {
    uint32_t textStart;
    uint32_t textEnd;
    int priority;
};

// A run of kept lines as they read in the log file. Blocks are never merged: a line is
// copied once, not again each time one buffer grows.
struct KeptBlock {
    TextBuffer text;
    std::vector<KeptMark> marks;
};

// Calls visit(line, mark) for each kept line, with line its start (the prefix) and mark where
// its text lies from there on.
template <typename Visit>
void ForEachKeptLine(const std::vector<KeptBlock>& blocks, Visit visit) {
    for (const KeptBlock& block : blocks) {
        uint32_t lineStart = 0;
        for (const KeptMark& mark : block.marks) {
            visit(block.text.Data() + lineStart,
                  KeptMark{mark.textStart - lineStart, mark.textEnd - lineStart, mark.priority});
            lineStart = mark.textEnd + 1;
        }
    }
}

// The log file stays open between writes; at most once a second the path is checked again,
// so a log file removed or rotated underneath a long-lived process is recreated rather than
// written into the void. Lines gather in buffer_ while a Batch lives and nothing forces them
// out; one write then carries many lines instead of one each.
class LogFile {
public:
    // Appends the line of message; with echo it also goes to stderr, as it reads in the file.
    void Append(int priority, std::string_view message, bool echo) {
        std::lock_guard<std::mutex> lock(mutex_);
        char* start = buffer_.Reserve(LinePrefix::kRoom + message.size() + 1);
        char* line = prefix_.Write(start, priority);
        std::memcpy(line, message.data(), message.size());
        line[message.size()] = '\n';
        size_t length = static_cast<size_t>(line - start) + message.size() + 1;
        buffer_.Extend(length);
        if (echo) {
            std::fwrite(start, 1, length, stderr);
        }
        if (priority == CSLogger::kError || MustWrite()) {
            WriteBuffer();
        }
    }

    // Appends lines a Hold kept, already in the file's form, as if each had been appended in
    // turn: an error line among them or 64 KiB gathered writes them, those up to echoPriority
    // go to stderr. The blocks go through buffer_ one at a time: written straight from them,
    // the same lines took four times as long to reach the file on the machine this was
    // measured on.
    void AppendKept(const std::vector<KeptBlock>& blocks, bool error, bool echo, int echoPriority) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const KeptBlock& block : blocks) {
            buffer_.Append(block.text.Data(), block.text.Size());
            if (buffer_.Size() >= kBufferLimit) {
                WriteBuffer();
            }
        }
        if (error || MustWrite()) {
            WriteBuffer();
        }
        if (echo) {
            ForEachKeptLine(blocks, [&](const char* line, const KeptMark& mark) {
                if (mark.priority <= echoPriority) {
                    std::fwrite(line, 1, mark.textEnd + 1, stderr);
                }
            });
        }
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

    // Whether the buffer is to be written now, with its latest lines.
    bool MustWrite() const {
        return batches_ == 0 || unbuffered_ > 0 || buffer_.Size() >= kBufferLimit;
    }

    void WriteBuffer() {
        Write(buffer_.Data(), buffer_.Size());
        buffer_.Clear();
    }

    void Write(const char* data, size_t left) {
        if (left == 0) {
            return;
        }
        auto now = std::chrono::steady_clock::now();
        if (fd_ < 0 || now - checked_ > std::chrono::seconds(1)) {
            Reopen();
            checked_ = now;
        }
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
    LinePrefix prefix_;
};

LogFile& TheLogFile() {
    static LogFile* file = new LogFile();  // never destroyed: threads may log during exit
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

// Appends the conversions log lines mostly use (%s, %d, %u, %ld, %lu, %zu and %%) as printf
// would, without its machinery. False for a format with anything else (flags, widths,
// precision, other conversions); what out gained and args are then not to be used.
bool FormatCommon(TextBuffer& out, const char* format, va_list args) {
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

// Appends any printf format; false when the text cannot be made.
bool FormatAny(TextBuffer& out, const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    constexpr size_t kFirstTry = 1024;
    int rc = vsnprintf(out.Reserve(kFirstTry), kFirstTry + 1, format, args);
    if (rc > static_cast<int>(kFirstTry)) {
        vsnprintf(out.Reserve(static_cast<size_t>(rc)), static_cast<size_t>(rc) + 1, format, again);
    }
    va_end(again);
    out.Extend(rc < 0 ? 0 : static_cast<size_t>(rc));
    return rc >= 0;
}

// Appends the text of a line; false (and out as it was) when it cannot be made.
bool FormatLine(TextBuffer& out, const char* format, va_list args) {
    const size_t start = out.Size();
    va_list again;
    va_copy(again, args);
    bool made = FormatCommon(out, format, args);
    if (!made) {
        out.Truncate(start);
        made = FormatAny(out, format, again);
    }
    va_end(again);
    return made;
}

// What a thread keeps for its lines: the line being formatted, reused from line to line, and
// its Hold, if any.
struct ThreadLines {
    TextBuffer text;
    CSLogger::Hold* hold = nullptr;
};

// The calling thread's ThreadLines, made at its first line. A plain pointer: reaching it costs
// one look-up, where an object of its own would cost a second one for its guard.
thread_local ThreadLines* tLines = nullptr;

// Deletes the thread's ThreadLines when the thread ends.
struct ThreadLinesOwner {
    ~ThreadLinesOwner() {
        delete tLines;
        tLines = nullptr;
    }
};

__attribute__((noinline)) ThreadLines& MakeThreadLines() {
    thread_local ThreadLinesOwner owner;
    (void)owner;
    tLines = new ThreadLines();
    return *tLines;
}

ThreadLines& ThisThread() {
    ThreadLines* lines = tLines;
    return lines != nullptr ? *lines : MakeThreadLines();
}

}  // namespace

struct CSLogger::Hold::Kept {
    // A line takes a new block when the last one has less room than this; a longer line
    // grows its block.
    static constexpr size_t kLineRoom = 1024;
    static constexpr size_t kBlockBytes = 256 * 1024;

    TextBuffer& Block() {
        if (blocks.empty() || blocks.back().text.Room() < kLineRoom) {
            blocks.emplace_back().text.Reserve(kBlockBytes);
        }
        return blocks.back().text;
    }

    LinePrefix prefix;
    std::vector<KeptBlock> blocks;
    bool error = false;
    int lowestPriority = INT_MAX;
};

void CSLogger::Log(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    ThreadLines& thread = ThisThread();
    if (thread.hold != nullptr) {
        thread.hold->Keep(priority, format, args);
    } else {
        thread.text.Clear();
        if (FormatLine(thread.text, format, args)) {
            Emit(priority, thread.text.View());
        }
    }
    va_end(args);
}

void CSLogger::Emit(int priority, std::string_view message) {
    TheLogFile().Append(priority, message,
                        priority <= echoPriority.load(std::memory_order_relaxed));
    if (captureCount.load(std::memory_order_acquire) != 0) {
        ToCaptures(priority, message);
    }
}

void CSLogger::ToCaptures(int priority, std::string_view message) {
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

CSLogger::Hold::Hold() : outer_(ThisThread().hold) {
    ThisThread().hold = this;
}

CSLogger::Hold::~Hold() {
    ThreadLines& thread = ThisThread();
    if (thread.hold == this) {
        thread.hold = outer_;
    }
}

// The line goes into the block in the file's form, its prefix stamped now.
void CSLogger::Hold::Keep(int priority, const char* format, va_list args) {
    if (!kept_) {
        kept_ = std::make_unique<Kept>();
    }
    TextBuffer& block = kept_->Block();
    const size_t lineStart = block.Size();
    block.ExtendTo(kept_->prefix.Write(block.Reserve(LinePrefix::kRoom), priority));
    const size_t textStart = block.Size();
    if (!FormatLine(block, format, args)) {
        block.Truncate(lineStart);
        return;
    }
    const size_t textEnd = block.Size();
    block.Append('\n');
    kept_->blocks.back().marks.push_back(
        {static_cast<uint32_t>(textStart), static_cast<uint32_t>(textEnd), priority});
    kept_->error |= priority == kError;
    kept_->lowestPriority = std::min(kept_->lowestPriority, priority);
}

void CSLogger::Hold::Release() {
    std::unique_ptr<Kept> kept = std::move(kept_);
    if (!kept) {
        return;
    }
    const int echo = echoPriority.load(std::memory_order_relaxed);
    TheLogFile().AppendKept(kept->blocks, kept->error, kept->lowestPriority <= echo, echo);
    if (captureCount.load(std::memory_order_acquire) == 0) {
        return;
    }
    ForEachKeptLine(kept->blocks, [](const char* line, const KeptMark& mark) {
        ToCaptures(mark.priority,
                   std::string_view(line + mark.textStart, mark.textEnd - mark.textStart));
    });
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
