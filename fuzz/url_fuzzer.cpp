// Hostile URL text: a base and a reference, split at the first newline. Every
// accessor runs on whatever parses, and resolution must give a URL that
// resolves to itself again, or the scanner could visit one page twice under
// two names or follow a link to a host the page never named.
#include "FuzzInput.h"
#include "core/base/Url.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using quorilanth::Url;

namespace {

void touch(const Url& url) {
    (void)url.user();
    (void)url.password();
    (void)url.host();
    (void)url.port();
    (void)url.path();
    (void)url.lastPathComponent();
    (void)url.query();
    (void)url.fragment();
    (void)url.rootText();
    if (url.withoutFragment().hasFragment()) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [baseText, referenceText] =
        quorilanth::fuzz::splitLine(quorilanth::fuzz::text(data, size));

    const std::optional<Url> base = Url::parse(baseText);
    if (base) {
        touch(*base);
    }
    const std::optional<Url> reference = Url::parse(referenceText);
    if (reference) {
        touch(*reference);
    }
    if (!base || !reference || !base->hasScheme()) {
        return 0;
    }
    // A base is a page's own address, which the scanner holds with its dot
    // segments already removed; against such a base resolution is idempotent.
    const std::optional<Url> page = base->resolve(*base);
    if (!page) {
        return 0;
    }
    // Only a target without an authority may be refused.
    const std::optional<Url> target = page->resolve(*reference);
    if (!target) {
        if (reference->hasAuthority() || (page->hasAuthority() && !reference->hasScheme())) {
            __builtin_trap();
        }
        return 0;
    }
    touch(*target);
    if (target->hasAuthority() && !reference->hasAuthority() && !page->hasAuthority()) {
        __builtin_trap();
    }
    if (page->resolve(target->text()) != target || target->resolve(*target) != target) {
        __builtin_trap();
    }
    return 0;
}
