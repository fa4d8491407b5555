// The ASF header editor on arbitrary bytes: opening never crashes, and after edits the new header
// opens again with exactly the edited values.
#include "tags/asf/asf_editor.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tags::TMemoryStream input(data, size);
    tags::TAsfEditor editor;
    if (editor.Open(input) != tags::TAsfEditor::TOpenResult::Ok) return 0;
    for (int i = 0; i < editor.AttributeCount(); ++i)
        (void)editor.Attribute(i).text();

    const std::string title = "Fuzz \xd0\x97\xd0\xb8\xd0\xbc\xd0\xb0 \xf0\x9f\x8e\xb5";
    const auto wideTitle = tags::Utf8ToUtf16Le(title);
    auto titles = editor.AttributeIndices("Title");
    if (!titles.empty()) {
        for (size_t k = titles.size(); k-- > 1;)
            editor.Delete(titles[k]);
        if (!editor.Modify(titles.front(), tags::TAsfType::String, wideTitle)) std::abort();
    } else if (editor.Add("Title", tags::TAsfType::String, wideTitle) < 0) {
        std::abort();
    }
    auto years = editor.AttributeIndices("WM/Year");
    for (size_t k = years.size(); k-- > 0;)
        if (!editor.Delete(years[k])) std::abort();
    editor.Add("WM/Lyrics", tags::TAsfType::String, std::vector<uint8_t>(size % 2 ? 70'000 : 20, 'l'));

    const int64_t rest = static_cast<int64_t>(size) - editor.HeaderSize();
    std::vector<uint8_t> out = editor.BuildHeader(rest);
    out.insert(out.end(), data + editor.HeaderSize(), data + size);
    tags::TMemoryStream written(out);
    tags::TAsfEditor back;
    if (back.Open(written) != tags::TAsfEditor::TOpenResult::Ok) std::abort();
    auto t = back.AttributeIndices("Title");
    if (t.size() != 1 || back.Attribute(t[0]).text() != title || !back.AttributeIndices("WM/Year").empty())
        std::abort();
    return 0;
}
