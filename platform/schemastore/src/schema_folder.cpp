#include "schema_folder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"

namespace TarnSchemaStore {

namespace {

constexpr int kKeyDepth = 3;  // <component>/<group>/<key>.json
const char kFileSuffix[] = ".json";

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int64_t Nanoseconds(const struct timespec& time) {
    return static_cast<int64_t>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

SchemaFileStamp StampOf(const std::string& path, const struct stat& st, int depth) {
    SchemaFileStamp stamp;
    stamp.path = path;
    stamp.isFolder = S_ISDIR(st.st_mode);
    stamp.depth = depth;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = Nanoseconds(st.st_mtim);
    stamp.changedNs = Nanoseconds(st.st_ctim);
    return stamp;
}

// Lists one folder level; hidden entries (temporary files of atomic writers) are skipped.
bool ListLevel(const std::string& folder, int depth, SchemaFolderListing& listing,
               FolderWatch* watch) {
    if (watch) {
        watch->Add(folder);
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        return false;
    }
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') {
            continue;
        }
        std::string path = folder + "/" + name;
        struct stat st;
        if (watch && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            watch->GiveUp();
        }
        if (stat(path.c_str(), &st) != 0) {
            continue;  // a dangling link, or an entry removed while listing
        }
        if (S_ISDIR(st.st_mode) && depth < kKeyDepth) {
            listing.stamps.push_back(StampOf(path, st, depth));
            if (!ListLevel(path, depth + 1, listing, watch)) {
                listing.problems.push_back(
                    {path, std::string("cannot list folder: ") + std::strerror(errno)});
            }
        } else if (S_ISREG(st.st_mode) && EndsWith(name, kFileSuffix)) {
            listing.stamps.push_back(StampOf(path, st, depth));
        }
    }
    closedir(dir);
    return true;
}

// The key of a file at "<folder>/<component>/<group>/<key>.json".
SchemaObjectId IdOfKeyFile(const std::string& path) {
    std::string rest = path.substr(0, path.size() - std::strlen(kFileSuffix));
    std::string parts[kKeyDepth];
    for (int i = kKeyDepth - 1; i >= 0; --i) {
        size_t slash = rest.rfind('/');
        parts[i] = rest.substr(slash + 1);
        rest.resize(slash);
    }
    return SchemaObjectId(parts[0], parts[1], parts[2]);
}

// The schema of one key file, or an empty pointer with the reason in problem.
std::shared_ptr<SchemaObject> LoadKeyFile(const std::string& path, std::string& problem) {
    if (access(path.c_str(), R_OK) != 0) {
        problem = std::string("cannot be read: ") + std::strerror(errno);
        return nullptr;
    }
    // Parsed into stack memory (a key file is small), whose used size then sizes the
    // definition's own pool.
    alignas(16) char buffer[16384];
    rapidjson::MemoryPoolAllocator<> pool(buffer, sizeof buffer);
    rapidjson::Document document(&pool);
    TarnConfigStore::JsonParseError parseError;
    if (!TarnConfigStore::ParseJsonFile(path.c_str(), document, &parseError)) {
        problem = "is not valid JSON at offset " + std::to_string(parseError.offset) + ": " +
                  parseError.message;
        return nullptr;
    }
    try {
        return SchemaObject::Create(IdOfKeyFile(path), document, path, pool.Size());
    } catch (const TarnConfigStore::ConfigStoreException& error) {
        // Create's arguments are the file and the problem alone; the message repeats the file.
        problem = error.GetArgs().size() == 2 ? error.GetArgs()[1] : error.what();
        return nullptr;
    }
}

struct LoadedFile {
    std::shared_ptr<SchemaObject> schema;
    std::string problem;         // why there is no schema
    std::exception_ptr failure;  // what escaped loading the file (out of memory)
};

void LoadFile(const SchemaFileStamp& stamp, LoadedFile& loaded) {
    try {
        loaded.problem = "is not at <component>/<group>/<key>.json";
        if (stamp.depth == kKeyDepth) {
            loaded.schema = LoadKeyFile(stamp.path, loaded.problem);
        }
    } catch (...) {
        loaded.failure = std::current_exception();
    }
}

// Below this many files a second thread costs more than it saves.
constexpr size_t kFilesForSecondThread = 64;

// Loads the files, each into its own slot. With many files a worker thread takes files from
// the same counter as the calling thread: loading a file touches nothing shared (no store, no
// log line; those come after, in order), so the second core halves a fresh process's load.
// Both stop at a file whose loading threw; the caller rethrows the first such in file order,
// as a load file by file would have thrown it.
std::vector<LoadedFile> LoadFiles(const std::vector<const SchemaFileStamp*>& files) {
    std::vector<LoadedFile> loaded(files.size());
    std::atomic<size_t> next{0};
    auto work = [&files, &loaded, &next] {
        for (size_t i = next++; i < files.size(); i = next++) {
            LoadFile(*files[i], loaded[i]);
            if (loaded[i].failure) {
                return;
            }
        }
    };
    std::thread worker;
    if (files.size() >= kFilesForSecondThread) {
        try {
            worker = std::thread(work);
        } catch (const std::system_error&) {
            // no thread to be had: the calling thread loads every file
        }
    }
    work();
    if (worker.joinable()) {
        worker.join();
    }
    return loaded;
}

}  // namespace

bool SchemaFileStamp::operator==(const SchemaFileStamp& other) const {
    return path == other.path && isFolder == other.isFolder && device == other.device &&
           inode == other.inode && size == other.size && modifiedNs == other.modifiedNs &&
           changedNs == other.changedNs;
}

SchemaFolderListing ListSchemaFolder(const std::string& folder, FolderWatch* watch) {
    SchemaFolderListing listing;
    std::string root = folder;
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    listing.available = ListLevel(root, 1, listing, watch);
    if (!listing.available) {
        listing.failure = std::strerror(errno);
        listing.stamps.clear();
        return listing;
    }
    std::sort(listing.stamps.begin(), listing.stamps.end(),
              [](const SchemaFileStamp& a, const SchemaFileStamp& b) { return a.path < b.path; });
    return listing;
}

std::shared_ptr<const SchemaCache> LoadSchemaFolder(const SchemaFolderListing& listing) {
    std::vector<const SchemaFileStamp*> files;
    for (const SchemaFileStamp& stamp : listing.stamps) {
        if (!stamp.isFolder) {
            files.push_back(&stamp);
        }
    }
    std::vector<LoadedFile> loaded = LoadFiles(files);
    SchemaCache::SchemaMap schemas;
    std::vector<SchemaLoadError> errors = listing.problems;
    for (size_t i = 0; i < files.size(); ++i) {
        if (loaded[i].failure) {
            std::rethrow_exception(loaded[i].failure);
        }
        if (loaded[i].schema) {
            schemas.emplace(loaded[i].schema->GetId(), std::move(loaded[i].schema));
        } else {
            errors.push_back({files[i]->path, std::move(loaded[i].problem)});
        }
    }
    for (const SchemaLoadError& error : errors) {
        CSLogger::Log(CSLogger::kError, "Schema file %s skipped: %s", error.path.c_str(),
                      error.message.c_str());
    }
    CSLogger::Log(CSLogger::kProgress, "Loaded %zu key schemas, skipped %zu files", schemas.size(),
                  errors.size());
    return std::make_shared<const SchemaCache>(std::move(schemas), std::move(errors));
}

}  // namespace TarnSchemaStore
