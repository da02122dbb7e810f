// The caption tables: one RT_RCDATA resource per language, named after it.
#pragma once

#include <functional>
#include <vector>

#include "config/Settings.h"
#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

// The kinds of component a caption row can address, tested in this order.
enum class ComponentKind { Label, Button, MenuEntry, EditBox, NotifyIcon, Other };

struct CaptionComponent {
    Text name;
    ComponentKind kind;
    std::function<void(const Text&)> setText;  // caption, text or hint, by kind
};

struct CaptionForm {
    Text name;                                    // the form's component name, e.g. "KXTrayForm"
    std::function<void(const Text&)> setCaption;  // the form's own caption
    std::vector<CaptionComponent> components;
};

class Captions {
public:
    Captions(const SettingsStore& settings, ISystemInfo& system) : settings_(settings), system_(system) {}

    // Sets the texts of form and its components from the table of the current
    // language. Never raises.
    void ApplyCaptions(CaptionForm& form) const;
    // text keeps its value when no row matches; the last matching row wins. Never raises.
    void GetCaption(const Text& formName, const Text& key, Text& text) const;

private:
    const SettingsStore& settings_;
    ISystemInfo& system_;
};

}  // namespace kx
