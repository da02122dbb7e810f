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
        // What a parent's inheritable entries give a new folder.
        created.security.owner = defaultOwner;
        for (AccessEntry entry : parent->second.security.dacl) {
            if ((entry.flags & w32::kContainerInheritAce) == 0) continue;
            entry.flags = static_cast<std::uint8_t>((entry.flags & ~w32::kInheritOnlyAce) | w32::kInheritedAce);
            created.security.dacl.push_back(entry);
        }
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
    if (it == objects.end() || it->second.directory || Held(key)) return false;
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

bool SimFileSecurity::CloseHandle(KHandle object) {
    const auto* entry = world_.handles.Find(object, HandleKind::File);
    if (entry != nullptr) open_[entry->object].open = false;
    return world_.handles.Close(object, HandleKind::File);
}

}  // namespace kx::sim
