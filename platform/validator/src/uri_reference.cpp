#include "uri_reference.h"

#include <cctype>

namespace TarnValidator {
namespace {

struct UriParts {
    std::string_view scheme;
    std::string_view authority;
    std::string_view path;
    std::string_view query;
    std::string_view fragment;
    bool hasScheme = false;
    bool hasAuthority = false;
    bool hasQuery = false;
    bool hasFragment = false;
};

UriParts ParseUri(std::string_view text) {
    UriParts parts;
    size_t hash = text.find('#');
    if (hash != text.npos) {
        parts.hasFragment = true;
        parts.fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    size_t question = text.find('?');
    if (question != text.npos) {
        parts.hasQuery = true;
        parts.query = text.substr(question + 1);
        text = text.substr(0, question);
    }
    size_t colon = text.find(':');
    if (colon != text.npos && colon > 0 && std::isalpha(static_cast<unsigned char>(text[0])) &&
        text.substr(0, colon).find('/') == text.npos) {
        parts.hasScheme = true;
        parts.scheme = text.substr(0, colon);
        text = text.substr(colon + 1);
    }
    if (text.substr(0, 2) == "//") {
        size_t end = text.find('/', 2);
        parts.hasAuthority = true;
        parts.authority = text.substr(2, end == text.npos ? text.npos : end - 2);
        text = end == text.npos ? std::string_view() : text.substr(end);
    }
    parts.path = text;
    return parts;
}

// RFC 3986 section 5.2.4.
std::string RemoveDotSegments(std::string_view input) {
    std::string output;
    while (!input.empty()) {
        if (input.substr(0, 3) == "../") {
            input.remove_prefix(3);
        } else if (input.substr(0, 2) == "./") {
            input.remove_prefix(2);
        } else if (input.substr(0, 3) == "/./") {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.substr(0, 4) == "/../" || input == "/..") {
            input = input.size() == 3 ? std::string_view("/") : input.substr(3);
            size_t slash = output.rfind('/');
            output.erase(slash == output.npos ? 0 : slash);
        } else if (input == "." || input == "..") {
            input = std::string_view();
        } else {
            size_t next = input.find('/', 1);
            size_t length = next == input.npos ? input.size() : next;
            output.append(input.substr(0, length));
            input.remove_prefix(length);
        }
    }
    return output;
}

std::string MergePaths(const UriParts& base, std::string_view path) {
    if (base.hasAuthority && base.path.empty()) {
        return "/" + std::string(path);
    }
    size_t slash = base.path.rfind('/');
    std::string merged(slash == base.path.npos ? std::string_view()
                                               : base.path.substr(0, slash + 1));
    return merged.append(path);
}

std::string Compose(const UriParts& parts, const std::string& path) {
    std::string out;
    if (parts.hasScheme) {
        out.append(parts.scheme).append(":");
    }
    if (parts.hasAuthority) {
        out.append("//").append(parts.authority);
    }
    out.append(path);
    if (parts.hasQuery) {
        out.append("?").append(parts.query);
    }
    if (parts.hasFragment) {
        out.append("#").append(parts.fragment);
    }
    return out;
}

}  // namespace

std::string ResolveUriReference(std::string_view base, std::string_view reference) {
    UriParts ref = ParseUri(reference);
    if (ref.hasScheme) {
        return Compose(ref, RemoveDotSegments(ref.path));
    }
    UriParts target = ParseUri(base);
    target.hasFragment = ref.hasFragment;
    target.fragment = ref.fragment;
    if (ref.hasAuthority) {
        target.hasAuthority = true;
        target.authority = ref.authority;
        target.hasQuery = ref.hasQuery;
        target.query = ref.query;
        return Compose(target, RemoveDotSegments(ref.path));
    }
    if (ref.path.empty()) {
        if (ref.hasQuery) {
            target.hasQuery = true;
            target.query = ref.query;
        }
        return Compose(target, std::string(target.path));
    }
    target.hasQuery = ref.hasQuery;
    target.query = ref.query;
    std::string path =
        ref.path.front() == '/' ? std::string(ref.path) : MergePaths(target, ref.path);
    return Compose(target, RemoveDotSegments(path));
}

void SplitUriFragment(std::string_view uri, std::string& document, std::string& fragment) {
    size_t hash = uri.find('#');
    document.assign(uri.substr(0, hash));
    fragment.assign(hash == uri.npos ? std::string_view() : uri.substr(hash + 1));
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(
                static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace TarnValidator
