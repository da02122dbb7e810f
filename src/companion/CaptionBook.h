// The texts of the main program's windows, from the same caption tables as
// KestrixTray's, in the language the settings name. Unlike the tray form,
// whose menu stays empty without a table, the main program falls back to the
// English table for a missing language or row, so no button is ever blank.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

class CaptionBook {
public:
    // Reads the table named language (any case) and the English table.
    CaptionBook(ISystemInfo& system, const Text& language);

    // The text of row (form, key), both compared without regard to the case
    // of the ASCII letters; the English row when the language has none; key
    // itself when neither table has it.
    Text Get(const Text& form, const Text& key) const;
    bool HasLanguage() const { return hasLanguage_; }

    // All rows of one table as (form, key) -> text, upper-cased names; the
    // last row of a pair wins, as in KestrixTray. Empty when there is none.
    static std::map<std::pair<Text, Text>, Text> ReadTable(ISystemInfo& system, const Text& name);

private:
    std::map<std::pair<Text, Text>, Text> rows_;
    std::map<std::pair<Text, Text>, Text> english_;
    bool hasLanguage_ = false;
};

// Removes the "&" that marks an access key ("&&" stays as one "&"), for texts
// shown where no access key applies.
Text StripAccessKey(const Text& text);

}  // namespace kx
