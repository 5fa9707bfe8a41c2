// A text buffer the calling thread keeps for its next use at one place in the code (Site, any
// type, tells the places apart), while its capacity stays within kKeptTextBytes. Files and
// texts read on every call (plugin results) then reuse pages already mapped: memory the C
// library handed back to the system costs a page fault per page when it is touched again. A
// nested use at the same place gets a buffer of its own. Private to the JSON library.
#pragma once

#include <cstddef>
#include <string>

namespace TarnConfigStore {

constexpr size_t kKeptTextBytes = 4u << 20;

template <typename Site>
class KeptText {
public:
    KeptText() : text_(Take()) {}
    ~KeptText() {
        if (&text_ != &own_) {
            if (text_.capacity() > kKeptTextBytes) {
                std::string().swap(text_);
            } else {
                text_.clear();
            }
            Slot().inUse = false;
        }
    }
    KeptText(const KeptText&) = delete;
    KeptText& operator=(const KeptText&) = delete;

    // Empty, with the capacity of its last use.
    std::string& Get() { return text_; }

private:
    struct Kept {
        std::string text;
        bool inUse = false;
    };
    static Kept& Slot() {
        thread_local Kept kept;
        return kept;
    }
    std::string& Take() {
        Kept& kept = Slot();
        if (kept.inUse) {
            return own_;
        }
        kept.inUse = true;
        kept.text.clear();
        return kept.text;
    }

    std::string own_;
    std::string& text_;
};

}  // namespace TarnConfigStore
