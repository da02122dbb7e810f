#include "config/Captions.h"

#include "config/TextRules.h"

namespace kx {

namespace {

// A row's fields. Asking for a field the row does not have ends the reading
// of the whole table: the texts set before that row stay as they are.
class Row {
public:
    struct Short {};
    explicit Row(std::vector<Text> fields) : fields_(std::move(fields)) {}
    const Text& operator[](std::size_t index) const {
        if (index >= fields_.size()) throw Short{};
        return fields_[index];
    }

private:
    std::vector<Text> fields_;
};

// The lines of the current language's table; none when there is no such
// table or it cannot be read.
std::vector<Text> TableLines(const SettingsStore& settings, ISystemInfo& system) {
    const Text language = AsciiLower(settings.RegReadString(u"Language", u"english"));
    std::vector<std::uint8_t> bytes;
    if (!system.LoadRcDataResource(language, &bytes)) return {};
    return ReadTextLines(bytes, system);
}

// Runs visit over the split rows of the table, skipping empty lines (which
// are not trimmed first), until the table ends or a row is too short.
template <typename Visit>
void ForEachRow(const SettingsStore& settings, ISystemInfo& system, Visit visit) {
    try {
        for (const Text& line : TableLines(settings, system)) {
            if (line.empty()) continue;
            visit(Row(SplitCommaText(line)));
        }
    } catch (const Row::Short&) {
        // A row without the field it needs ends the reading.
    } catch (...) {
        // Neither operation ever raises: an unreadable table changes nothing.
    }
}

bool TakesText(ComponentKind kind) {
    switch (kind) {
        case ComponentKind::Label:
        case ComponentKind::Button:
        case ComponentKind::MenuEntry:
        case ComponentKind::EditBox:
        case ComponentKind::NotifyIcon:
            return true;
        case ComponentKind::Other:
            break;
    }
    return false;
}

}  // namespace

void Captions::ApplyCaptions(CaptionForm& form) const {
    ForEachRow(settings_, system_, [&form](const Row& row) {
        if (!EqualsIgnoreAsciiCase(row[0], form.name)) return;
        // The form's own caption: its name written exactly, case counting.
        if (row[1] == form.name) {
            const Text& text = row[2];
            if (form.setCaption) form.setCaption(text);
            return;
        }
        for (CaptionComponent& component : form.components) {
            if (!EqualsIgnoreAsciiCase(component.name, row[1])) continue;
            if (TakesText(component.kind)) {
                const Text& text = row[2];
                if (component.setText) component.setText(text);
            }
            return;
        }
    });
}

void Captions::GetCaption(const Text& formName, const Text& key, Text& text) const {
    ForEachRow(settings_, system_, [&](const Row& row) {
        if (EqualsIgnoreAsciiCase(row[0], formName) && EqualsIgnoreAsciiCase(row[1], key)) text = row[2];
    });
}

}  // namespace kx
