#include "companion/BlockProposal.h"

#include "config/TextRules.h"

namespace kx {

namespace {

// The text up to its first CR, LF or NUL, trimmed again: a part of the
// caption still matches the whole, as rows match anywhere in it.
Text OneLine(const Text& text) {
    const auto end = text.find_first_of(u"\r\n", 0, 2);
    const auto nul = text.find(u'\0');
    return Trim(text.substr(0, std::min(end, nul)));
}

Text ProgramFileName(const Text& imagePath) {
    const auto slash = imagePath.rfind(u'\\');
    return slash == Text::npos ? Text() : imagePath.substr(slash);
}

}  // namespace

ProposedRow ProposeBlockRow(const ForegroundSnapshot& snapshot, ProposedKind kind) {
    const Text caption = OneLine(snapshot.caption);
    const Text program = ProgramFileName(snapshot.imagePath);
    // The class key is "#" alone for a window without a class name.
    const bool hasClass = snapshot.classKey.size() > 1;
    ProposedRow row;
    row.description = caption.empty() ? snapshot.classKey : caption;
    if (kind == ProposedKind::ImagePath && program.size() > 1) {
        row.kind = u"2";
        row.pattern = program;
    } else if (kind == ProposedKind::Caption && !caption.empty()) {
        row.kind = u"1";
        row.pattern = caption;
    } else if (kind == ProposedKind::ClassKey && hasClass) {
        row.kind = u"0";
        row.pattern = snapshot.classKey;
    } else if (program.size() > 1) {
        row.kind = u"2";
        row.pattern = program;
    } else if (!caption.empty()) {
        row.kind = u"1";
        row.pattern = caption;
    } else {
        row.kind = u"0";
        row.pattern = hasClass ? snapshot.classKey : Text();
    }
    return row;
}

}  // namespace kx
