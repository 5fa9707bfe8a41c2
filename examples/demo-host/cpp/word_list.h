// The native plugins' values, {"<member>": ["word", ...]}: the checks that keep a word from
// corrupting the line it is written to, used in validate (one invalid field per problem) and
// again in apply before the first write, since an apply cannot trust that validation ran.
// Plain functions without state; any thread.
#pragma once

#include <string>
#include <vector>

#include "tarn_plugin.h"

namespace DemoHost {

// A value of one member that holds a list of words; separators are the characters a word
// must not hold besides control characters (' ' stands for every blank).
struct WordList {
    const char* member;
    const char* separators;
};

// A problem of one field: its path inside the value ("servers/1"), a message id and the
// message's arguments (in an apply, after the field's path).
struct Problem {
    std::string field;
    std::string id;
    std::vector<std::string> details;
};

std::vector<Problem> WordListProblems(const WordList& list, const std::string& config);

// The validate answer for a single-instance key: one invalid field per problem.
std::vector<TarnPlugin::InvalidField> InvalidWordLists(const WordList& list,
                                                       const TarnPlugin::Request& request);
// The words of an input's value. Throws TarnPlugin::PluginError for its first problem, the
// message's first argument the field below the object's id (/component/group/key/field).
std::vector<std::string> Words(const WordList& list, const TarnPlugin::ConfigInput& input);
// Throws as Words does for the first added or changed input with a problem: call it before
// writing anything.
void RefuseBadWordLists(const WordList& list, const TarnPlugin::Request& request);

}  // namespace DemoHost
