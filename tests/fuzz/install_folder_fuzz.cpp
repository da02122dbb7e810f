// The install folder's verdict over arbitrary paths and security
// descriptors. The input is a path (one character a byte, up to a NUL byte),
// then for each folder of that path a kind byte (missing, folder, file,
// link) and a two-byte length followed by a self-relative descriptor as
// GetSecurityInfo would return it; bytes that are no descriptor leave the
// folder without an owner and with an empty DACL. Whatever the input, the
// walk leaves no handle open, copies nothing unless the verdict is a success,
// copies only while the whole path is held, and never reports success for a
// path any folder of which an untrusted account could still change.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/SecurityDescriptor.h"
#include "setup/SecuredFolders.h"
#include "sim/SimFileSecurity.h"

namespace {

using kx::Text;

const std::vector<Text> kTrusted = {kx::kSidAdministrators, kx::kSidLocalSystem, kx::kSidTrustedInstaller};
constexpr std::size_t kMaxFolders = 64;

// "C:\a\b" as "C:\", "C:\a", "C:\a\b" (empty parts skipped: the verdict refuses them anyway).
std::vector<Text> Folders(const Text& path) {
    std::vector<Text> folders;
    if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') return folders;
    folders.push_back(path.substr(0, 3));
    for (std::size_t at = 3; at < path.size() && folders.size() < kMaxFolders;) {
        std::size_t end = path.find(u'\\', at);
        if (end == Text::npos) end = path.size();
        if (end > at) folders.push_back(path.substr(0, end));
        at = end + 1;
    }
    return folders;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    Text path;
    while (at < size && data[at] != 0) path.push_back(static_cast<char16_t>(data[at++]));
    ++at;

    kx::sim::SimWorld world;
    kx::sim::SimFileSecurity fs(world);
    for (const Text& folder : Folders(path)) {
        if (at + 3 > size) break;
        const std::uint8_t kind = data[at] & 3;
        const std::size_t length = static_cast<std::size_t>(data[at + 1] | (data[at + 2] << 8));
        at += 3;
        const std::size_t take = length < size - at ? length : size - at;
        kx::ObjectSecurity security;
        if (!kx::ReadSecurityDescriptor(data + at, take, &security)) security = kx::ObjectSecurity{};
        at += take;
        if (kind == 0) continue;
        kx::sim::SimSecuredObject& object = kind == 2 ? fs.File(folder) : fs.Folder(folder);
        object.reparsePoint = kind == 3;
        object.security = security;
    }
    const Text stage = u"Z:\\stage";
    fs.Folder(u"Z:\\");
    fs.Folder(stage);
    fs.File(stage + u"\\KestrixTray.exe");

    kx::SecuredFolders folders(fs, kTrusted);
    const kx::FolderOutcome outcome = folders.InstallFiles(path, stage, {u"KestrixTray.exe"});
    if (world.handles.OpenCount() != 0) std::abort();
    if (!outcome.ok() && !fs.copies.empty()) std::abort();
    for (const auto& copy : fs.copies) {
        if (!copy.chainHeld) std::abort();
    }
    if (outcome.ok()) {
        const std::vector<Text> chain = Folders(outcome.path);
        for (std::size_t i = 0; i < chain.size(); ++i) {
            const kx::sim::SimSecuredObject* object = fs.Find(chain[i]);
            const kx::FolderRole role = i + 1 == chain.size() ? kx::FolderRole::Install : kx::FolderRole::Above;
            if (object == nullptr || !object->directory || object->reparsePoint ||
                kx::OthersCanChange(object->security, kTrusted, role)) {
                std::abort();
            }
        }
        if (fs.copies.size() != 1) std::abort();
    }
    return 0;
}
