#include "sim/SimFileSecurity.h"

namespace kx::sim {

namespace {
Text Key(const Text& path) {
    Text upper = Upper(path);
    while (upper.size() > 3 && upper.back() == u'\\') upper.pop_back();
    return upper;
}

Text Parent(const Text& key) {
    const auto slash = key.rfind(u'\\');
    if (slash == Text::npos || key.size() <= 3) return Text();
    return slash == 2 ? key.substr(0, 3) : key.substr(0, slash);
}

// What a new folder (or file) made by owner inherits from its parent's DACL:
// the entries for subfolders (or files), in effect on it; a CREATOR OWNER
// entry becomes one for its owner, and a folder keeps it to hand on.
std::vector<AccessEntry> Inherited(const std::vector<AccessEntry>& parent, bool folder, const Text& owner) {
    std::vector<AccessEntry> dacl;
    const std::uint8_t kind = folder ? w32::kContainerInheritAce : w32::kObjectInheritAce;
    for (AccessEntry entry : parent) {
        if ((entry.flags & kind) == 0) continue;
        if (entry.sid == kSidCreatorOwner) {
            dacl.push_back(AccessEntry{entry.type, w32::kInheritedAce, entry.mask, owner});
            if (!folder) continue;
            entry.flags = static_cast<std::uint8_t>(entry.flags | w32::kInheritOnlyAce | w32::kInheritedAce);
        } else {
            entry.flags = folder ? static_cast<std::uint8_t>((entry.flags & ~w32::kInheritOnlyAce) | w32::kInheritedAce)
                                 : w32::kInheritedAce;
        }
        dacl.push_back(entry);
    }
    return dacl;
}
}  // namespace

SimSecuredObject& SimFileSecurity::Folder(const Text& path, const Text& owner) {
    SimSecuredObject& object = objects[Key(path)];
    object.directory = true;
    object.security.owner = owner;
    return object;
}

SimSecuredObject& SimFileSecurity::File(const Text& path, const Text& owner) {
    SimSecuredObject& object = objects[Key(path)];
    object.directory = false;
    object.security.owner = owner;
    return object;
}

SimSecuredObject* SimFileSecurity::Find(const Text& path) {
    auto it = objects.find(Key(path));
    return it == objects.end() ? nullptr : &it->second;
}

const SimFileSecurity::OpenObjectEntry* SimFileSecurity::Entry(KHandle object) const {
    const auto* entry = world_.handles.Find(object, HandleKind::File);
    return entry == nullptr ? nullptr : &open_[entry->object];
}

bool SimFileSecurity::Held(const Text& key) const {
    for (const OpenObjectEntry& entry : open_) {
        if (entry.open && entry.path == key && (entry.shareMode & w32::kFileShareDelete) == 0) return true;
    }
    return false;
}

KHandle SimFileSecurity::OpenObject(const Text& path, std::uint32_t access, std::uint32_t shareMode) {
    const Text key = Key(path);
    if (objects.count(key) == 0) {
        lastError_ = objects.count(Parent(key)) != 0 ? w32::kErrorFileNotFound : w32::kErrorPathNotFound;
        return 0;
    }
    open_.push_back(OpenObjectEntry{key, access, shareMode, true});
    lastError_ = 0;
    return world_.handles.Open(HandleKind::File, open_.size() - 1);
}

bool SimFileSecurity::GetFileInformationByHandle(KHandle object, FileIdentity* identity) {
    const OpenObjectEntry* entry = Entry(object);
    if (entry == nullptr || identity == nullptr) return false;
    const SimSecuredObject& o = objects.at(entry->path);
    identity->attributes = (o.directory ? w32::kFileAttributeDirectory : 0x80u) |
                           (o.reparsePoint ? w32::kFileAttributeReparsePoint : 0u);
    identity->numberOfLinks = o.links;
    return true;
}

bool SimFileSecurity::GetSecurityInfo(KHandle object, ObjectSecurity* security) {
    const OpenObjectEntry* entry = Entry(object);
    if (entry == nullptr || security == nullptr || (entry->access & w32::kReadControl) == 0) return false;
    *security = objects.at(entry->path).security;
    return true;
}

bool SimFileSecurity::SetKernelObjectSecurity(KHandle object, const ObjectSecurity& security) {
    const OpenObjectEntry* entry = Entry(object);
    if (entry == nullptr || (entry->access & w32::kWriteDac) == 0) return false;
    if (!security.owner.empty() && (entry->access & w32::kWriteOwner) == 0) return false;
    SimSecuredObject& o = objects.at(entry->path);
    if (o.refuseSecurity) return false;
    if (!security.owner.empty()) o.security.owner = security.owner;
    o.security.hasDacl = security.hasDacl;
    o.security.daclProtected = security.daclProtected;
    o.security.dacl = security.dacl;
    securedPaths.push_back(entry->path);
    return true;
}

bool SimFileSecurity::CreateDirectoryW(const Text& path, const ObjectSecurity* security) {
    const Text key = Key(path);
    if (objects.count(key) != 0) {
        lastError_ = 183;  // ERROR_ALREADY_EXISTS
        return false;
    }
    const auto parent = objects.find(Parent(key));
    if (parent == objects.end() || !parent->second.directory) {
        lastError_ = w32::kErrorPathNotFound;
        return false;
    }
    SimSecuredObject created;
    if (security != nullptr) {
        created.security = *security;
    } else {
        created.security.owner = defaultOwner;
        created.security.dacl = Inherited(parent->second.security.dacl, true, defaultOwner);
    }
    objects[key] = created;
    createdFolders.push_back(key);
    return true;
}

bool SimFileSecurity::ListFolder(const Text& path, std::vector<Text>* names) {
    const Text key = Key(path);
    const auto folder = objects.find(key);
    if (folder == objects.end() || !folder->second.directory || names == nullptr) return false;
    names->clear();
    for (const auto& other : objects) {
        if (Parent(other.first) == key) names->push_back(other.first.substr(other.first.rfind(u'\\') + 1));
    }
    return true;
}

bool SimFileSecurity::DeleteFileW(const Text& path) {
    const Text key = Key(path);
    auto it = objects.find(key);
    if (it == objects.end()) {
        lastError_ = objects.count(Parent(key)) != 0 ? w32::kErrorFileNotFound : w32::kErrorPathNotFound;
        return false;
    }
    if (it->second.directory || Held(key)) {
        lastError_ = w32::kErrorAccessDenied;
        return false;
    }
    objects.erase(it);
    deletedPaths.push_back(key);
    return true;
}

bool SimFileSecurity::RemoveDirectoryW(const Text& path) {
    const Text key = Key(path);
    auto it = objects.find(key);
    if (it == objects.end() || !it->second.directory || Held(key)) return false;
    for (const auto& other : objects) {
        if (Parent(other.first) == key) return false;  // not empty
    }
    objects.erase(it);
    deletedPaths.push_back(key);
    return true;
}

bool SimFileSecurity::MoveObject(KHandle object, const Text& newPath) {
    const OpenObjectEntry* entry = Entry(object);
    const Text to = Key(newPath);
    if (entry == nullptr || (entry->access & w32::kDelete) == 0 || objects.at(entry->path).refuseMove) {
        lastError_ = w32::kErrorAccessDenied;
        return false;
    }
    if (objects.count(to) != 0 || objects.count(Parent(to)) == 0) {
        lastError_ = objects.count(to) != 0 ? 183 : w32::kErrorPathNotFound;
        return false;
    }
    // The object and everything below it, and the handles open on them.
    const Text from = entry->path;
    std::map<Text, SimSecuredObject> moved;
    for (auto it = objects.begin(); it != objects.end();) {
        if (it->first == from || it->first.rfind(from + u"\\", 0) == 0) {
            moved[to + it->first.substr(from.size())] = it->second;
            it = objects.erase(it);
        } else {
            ++it;
        }
    }
    objects.insert(moved.begin(), moved.end());
    for (OpenObjectEntry& open : open_) {
        if (open.path == from || open.path.rfind(from + u"\\", 0) == 0) open.path = to + open.path.substr(from.size());
    }
    moves.emplace_back(from, to);
    lastError_ = 0;
    return true;
}

bool SimFileSecurity::CopyFileW(const Text& existing, const Text& newPath) {
    const Text from = Key(existing);
    const Text to = Key(newPath);
    const auto source = objects.find(from);
    const auto parent = objects.find(Parent(to));
    if (source == objects.end() || source->second.directory || parent == objects.end() || !parent->second.directory) {
        lastError_ = w32::kErrorFileNotFound;
        return false;
    }
    if (objects.count(to) != 0) {
        lastError_ = 80;  // ERROR_FILE_EXISTS
        return false;
    }
    bool chainHeld = true;
    for (Text folder = Parent(to); !folder.empty(); folder = Parent(folder)) chainHeld = chainHeld && Held(folder);
    SimSecuredObject file;
    file.directory = false;
    file.security.owner = defaultOwner;
    file.security.dacl = Inherited(parent->second.security.dacl, false, defaultOwner);
    objects[to] = file;
    copies.push_back(Copy{from, to, chainHeld});
    lastError_ = 0;
    return true;
}

bool SimFileSecurity::CloseHandle(KHandle object) {
    const auto* entry = world_.handles.Find(object, HandleKind::File);
    if (entry != nullptr) open_[entry->object].open = false;
    return world_.handles.Close(object, HandleKind::File);
}

}  // namespace kx::sim
