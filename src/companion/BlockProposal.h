// The block-list row the main program proposes for a running window, made
// from the same snapshot KestrixTray takes of a foreground window (trimmed
// caption and class key cut to 254 characters, drive-letter image path), so
// that the row, once saved, blocks that window.
#pragma once

#include "engine/Foreground.h"
#include "platform/Types.h"

namespace kx {

enum class ProposedKind { Best, ClassKey, Caption, ImagePath };

struct ProposedRow {
    Text kind;         // "0" class key, "1" caption, "2" image path
    Text pattern;      // never empty unless the window has no text at all
    Text description;  // the caption, for people
};

// kind Best: the program's file name when its path is known, else the
// caption, else the class key. An image-path row looks for "\name.exe",
// which matches that program wherever it lies and none whose name merely
// ends the same way. A kind whose text the window lacks falls back as Best
// does. A caption is cut before its first line break, which a row cannot hold.
ProposedRow ProposeBlockRow(const ForegroundSnapshot& snapshot, ProposedKind kind = ProposedKind::Best);

}  // namespace kx
