// TAPETag on arbitrary bytes: reading never crashes, and a written tag reads back item for item.
#include "tags/apev2/apetag.h"

#include <cstdlib>
#include <cstring>

namespace {

bool EndsInRecord(const tags::TMemoryStream& m) {
    const auto& d = m.Data();
    return d.size() > 128 && std::memcmp(d.data() + d.size() - 128, "TAG", 3) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tags::TMemoryStream input(data, size);
    tags::TAPETag tag;
    tag.ReadFrom(input);
    if (tag.TotalSize() > static_cast<int64_t>(size)) std::abort();

    tags::TMemoryStream copy(data, size);
    const bool hadRecord = EndsInRecord(copy);
    tag.WriteTo(copy);
    // Without a real ID3v1 record, the tag's own last 128 bytes may happen to look like one.
    if (!hadRecord && EndsInRecord(copy)) return 0;
    tags::TAPETag back;
    back.ReadFrom(copy);
    if (!back.Exists() || back.Items().size() != tag.Items().size()) std::abort();
    for (size_t i = 0; i < tag.Items().size(); ++i) {
        const auto &a = tag.Items()[i], &b = back.Items()[i];
        if (a.Key != b.Key || a.Value != b.Value || a.Flags != b.Flags) std::abort();
    }
    return 0;
}
