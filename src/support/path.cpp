#include "support/path.h"

#include "platform/program_path.h"

namespace orvanta {

bool IsUrl(std::string_view text) {
    return text.find("://") != std::string_view::npos;
}

int LastSeparatorIndex(std::string_view path) {
    const size_t backslash = path.rfind('\\');
    if (backslash != std::string_view::npos) {
        return static_cast<int>(backslash);
    }
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return -1;
    }
    const size_t scheme = path.find("://");
    if (scheme != std::string_view::npos && slash == scheme + 2) {
        return -1;
    }
    return static_cast<int>(slash);
}

bool HasSeparator(std::string_view path) {
    return LastSeparatorIndex(path) >= 0;
}

char SeparatorOf(std::string_view path) {
    const int index = LastSeparatorIndex(path);
    if (index >= 0) {
        return path[static_cast<size_t>(index)];
    }
    return IsUrl(path) ? '/' : kNativeSeparator;
}

void JoinPath(std::string& destination, std::string_view tail) {
    if (destination.empty()) {
        destination.assign(tail);
        return;
    }
    const bool destinationEnds = IsSeparator(destination.back());
    const bool tailStarts = !tail.empty() && IsSeparator(tail.front());
    if (destinationEnds && tailStarts) {
        destination.pop_back();
    } else if (!destinationEnds && !tailStarts) {
        char separator = kNativeSeparator;
        if (HasSeparator(destination)) {
            separator = SeparatorOf(destination);
        } else if (HasSeparator(tail)) {
            separator = SeparatorOf(tail);
        }
        destination += separator;
    }
    destination.append(tail);
}

std::string JoinedPath(std::string_view destination, std::string_view tail) {
    std::string result(destination);
    JoinPath(result, tail);
    return result;
}

std::string GetFolderOf(std::string_view path) {
    const int index = LastSeparatorIndex(path);
    return index < 0 ? std::string() : std::string(path.substr(0, static_cast<size_t>(index) + 1));
}

std::string GetModuleFolder() {
    return GetFolderOf(platform::ProgramPath());
}

int ExtensionIndex(std::string_view path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) {
        return -1;
    }
    const int separator = LastSeparatorIndex(path);
    if (separator >= 0) {
        return static_cast<int>(dot) > separator ? static_cast<int>(dot) : -1;
    }
    return IsUrl(path) ? -1 : static_cast<int>(dot);
}

std::string GetExtension(std::string_view path) {
    const int index = ExtensionIndex(path);
    return index < 0 ? std::string() : std::string(path.substr(static_cast<size_t>(index)));
}

}  // namespace orvanta
