// Whatever a client puts in a request path, a path the normaliser lets through is joined below
// the content folder, so it must not be able to climb out of it or smuggle a byte the file
// system gives a meaning: no ".." segment, no NUL or other control byte, no backslash, not
// absolute, no empty or "." segment left for the join to misread. It must also be a fixed
// point: requesting the result again (with its literal '%' re-encoded, since the path is
// decoded exactly once) names the same file.
#include "fuzz_require.h"
#include "web/content.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using orvanta::engine::kMaxRequestPathBytes;
using orvanta::engine::NormaliseRequestPath;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    const std::optional<std::string> path = NormaliseRequestPath(input);
    if (!path) {
        return 0;
    }
    Require(input.size() <= kMaxRequestPathBytes, "an overlong path was accepted");
    Require(path->size() < input.size(), "the result is not shorter than the request");
    Require(path->empty() || path->front() != '/', "the result is absolute");
    for (const char c : *path) {
        const auto byte = static_cast<unsigned char>(c);
        Require(byte >= 0x20 && byte != 0x7F, "a control byte or NUL got through");
        Require(c != '\\', "a backslash got through");
    }
    const std::string segments = "/" + *path + "/";
    for (const char* bad : {"/../", "/./", "//"}) {
        Require(path->empty() || segments.find(bad) == std::string::npos,
                "a .. segment got through, or a . or empty one was kept");
    }

    std::string again = "/";
    for (const char c : *path) {
        again += c == '%' ? std::string_view("%25") : std::string_view(&c, 1);
    }
    if (again.size() <= kMaxRequestPathBytes) {
        Require(NormaliseRequestPath(again) == path, "normalising the result changes it");
    }
    return 0;
}
