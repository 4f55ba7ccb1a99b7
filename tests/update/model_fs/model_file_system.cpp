// The model file system's workings; what it models is said in model_file_system.h.
//
// Nodes are never freed while the model lives: the journal's undo records, the handles and the
// files a rename replaced point to them, and a power cut can put a removed node back in its
// folder. A node out of the tree has no parent.
//
// The journal holds every metadata operation since the last power cut, in order; the first
// `durable` of them are on the disk. A power cut undoes the ones it does not keep from the last
// backwards, so each undo finds the tree exactly as its operation left it.
#include "tests/update/model_fs/model_file_system.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "resfs/cp932_lower.h"

namespace {

struct Node {
    std::string name;  // as created; "" for a drive's root
    bool folder;
    char drive;
    Node* parent;                           // null for a root and for a node out of the tree
    std::map<std::string, Node*> children;  // by lower-cased name
    std::string bytes;
    std::string durable;  // the bytes as of the last flush
    uint32_t attributes;  // kFsReadOnly, kFsHidden, kFsSystem, kFsArchive; never kFsFolder
    FsTimes times;
    bool deletePending;
};

struct Drive {
    Node* root;
    uint64_t capacity;
    uint32_t clusterSize;
    bool readOnly;
};

struct Handle {
    Node* node;
    uint32_t access, share;
    uint64_t position;
    bool timesSet;     // setTimes was called: later writes keep the times
    bool foreign;      // a hold of another program
    uint64_t untilMs;  // a hold that ends at this time (0: not by time)
    uint32_t tries;    // a hold that ends after this many more refusals (0: not by refusals)
};

struct Denial {
    std::string key;  // the full lower-cased path
    uint64_t untilMs;
    uint32_t tries;
};

enum JournalKind { kMade, kRemoved, kRenamed, kAttributesSet };

struct MetaOp {
    JournalKind kind;
    Node* node;
    Node* fromParent;  // kRemoved, kRenamed: the folder it was in, under the name `fromName`
    std::string fromName;
    Node* replaced;  // kRenamed: the file the new name had before
    uint32_t oldAttributes;
};

struct Search {
    std::vector<FsFound> found;
    size_t next;
};

struct PathParts {
    char drive;  // upper case
    std::vector<std::string> names;
};

}  // namespace

struct ModelDisk {
    std::vector<std::unique_ptr<Node>> nodes;
    std::map<char, Drive> drives;
    std::string current;  // the current folder, absolute
    // Handles, holds, denials and searches share one sequence of ids, never reused.
    uint32_t lastId = 0;
    std::map<uint32_t, Handle> handles;
    std::map<uint32_t, Denial> denials;
    std::map<uint32_t, Search> searches;
    std::vector<MetaOp> journal;
    size_t durable = 0;
};

void ModelDiskFree::operator()(ModelDisk* disk) const {
    delete disk;
}

namespace {

const uint32_t kDataAccess = kFsRead | kFsWrite | kFsDelete;
const uint32_t kKeptAttributes = kFsReadOnly | kFsHidden | kFsSystem | kFsArchive;
const size_t kMaxNameBytes = 255;

// --- Names and paths ---

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string Key(const std::string& name) {
    std::string key = name;
    LowerCp932(&key[0]);
    return key;
}

void PushName(std::vector<std::string>* names, const std::string& name) {
    if (name.empty() || name == ".") return;
    if (name == "..") {
        if (!names->empty()) names->pop_back();
        return;
    }
    names->push_back(name);
}

// Appends the names of `text` to `names`, stepping over each double-byte character whole.
void SplitNames(const char* text, std::vector<std::string>* names) {
    std::string name;
    for (const char* p = text; *p; ++p) {
        if (IsCp932LeadByte((uint8_t)*p) && p[1]) {
            name += p[0];
            name += p[1];
            ++p;
        } else if (IsSeparator(*p)) {
            PushName(names, name);
            name.clear();
        } else {
            name += *p;
        }
    }
    PushName(names, name);
}

// A name Windows accepts: no control characters, none of <>:"|?* (wildcards only when allowed).
bool IsValidName(const std::string& name, bool wildcards) {
    for (size_t i = 0; i < name.size(); ++i) {
        uint8_t c = (uint8_t)name[i];
        if (IsCp932LeadByte(c) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (c < 0x20 || strchr("<>:\"|", c)) return false;
        if (!wildcards && (c == '*' || c == '?')) return false;
    }
    return true;
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char UpperDrive(char c) {
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

// Resolves `path` to its drive and names. kFsNameTooLong past MAX_PATH or 255 bytes a name,
// kFsOther for a name Windows refuses (or a UNC path, which the model has no use for),
// kFsPathNotFound for an empty path or a relative one without a current folder. The last name may
// hold wildcards when `pattern` is set.
FsError ParsePath(const ModelDisk* disk, const char* path, bool pattern, PathParts* parts) {
    if (!path) return kFsOther;
    size_t length = strlen(path);
    if (length >= kUpdatePathBytes) return kFsNameTooLong;
    if (length == 0) return kFsPathNotFound;
    parts->names.clear();
    if (IsDriveLetter(path[0]) && path[1] == ':') {
        if (path[2] && !IsSeparator(path[2])) return kFsOther;
        parts->drive = UpperDrive(path[0]);
        SplitNames(path + 2, &parts->names);
    } else if (IsSeparator(path[0])) {
        if (IsSeparator(path[1]) || disk->current.empty()) {
            return IsSeparator(path[1]) ? kFsOther : kFsPathNotFound;
        }
        parts->drive = UpperDrive(disk->current[0]);
        SplitNames(path, &parts->names);
    } else {
        if (disk->current.empty()) return kFsPathNotFound;
        parts->drive = UpperDrive(disk->current[0]);
        SplitNames(disk->current.c_str() + 2, &parts->names);
        SplitNames(path, &parts->names);
    }
    size_t full = 3;  // "C:\"
    for (size_t i = 0; i < parts->names.size(); ++i) {
        const std::string& name = parts->names[i];
        if (name.size() > kMaxNameBytes) return kFsNameTooLong;
        if (!IsValidName(name, pattern && i + 1 == parts->names.size())) return kFsOther;
        full += name.size() + 1;
    }
    if (full - 1 >= kUpdatePathBytes) return kFsNameTooLong;
    return kFsOk;
}

std::string FullKey(const PathParts& parts) {
    std::string key(1, (char)(parts.drive - 'A' + 'a'));
    key += ':';
    for (const std::string& name : parts.names) key += "\\" + Key(name);
    return key;
}

std::string FullPath(const Node* node) {
    std::string path;
    for (; node && node->parent; node = node->parent) path = "\\" + node->name + path;
    if (!node) return "?" + path;
    return std::string(1, node->drive) + ":" + (path.empty() ? "\\" : path);
}

Drive* FindDrive(ModelDisk* disk, char letter) {
    auto it = disk->drives.find(UpperDrive(letter));
    return it == disk->drives.end() ? nullptr : &it->second;
}

Node* Child(const Node* folder, const std::string& name) {
    auto it = folder->children.find(Key(name));
    return it == folder->children.end() ? nullptr : it->second;
}

// The folder that holds the last name of `parts` (null for a root) and the node of that name
// (null when there is none). kFsPathNotFound when the drive or a folder on the way is missing, or
// is a file.
FsError Locate(ModelDisk* disk, const PathParts& parts, Node** parent, Node** node) {
    Drive* drive = FindDrive(disk, parts.drive);
    if (!drive) return kFsPathNotFound;
    Node* folder = drive->root;
    if (parts.names.empty()) {
        *parent = nullptr;
        *node = folder;
        return kFsOk;
    }
    for (size_t i = 0; i + 1 < parts.names.size(); ++i) {
        folder = Child(folder, parts.names[i]);
        if (!folder || !folder->folder) return kFsPathNotFound;
    }
    *parent = folder;
    *node = Child(folder, parts.names.back());
    return kFsOk;
}

// --- Nodes, space and the journal ---

uint64_t Now(const ModelFileSystem* model) {
    return kModelEpochFileTime + model->nowMs * 10000;
}

Node* NewNode(ModelFileSystem* model, bool folder, char drive) {
    model->disk->nodes.emplace_back(new Node());
    Node* node = model->disk->nodes.back().get();
    node->folder = folder;
    node->drive = drive;
    node->parent = nullptr;
    node->attributes = folder ? 0u : (uint32_t)kFsArchive;
    uint64_t now = Now(model);
    node->times = {now, now, now};
    node->deletePending = false;
    return node;
}

void Attach(Node* folder, Node* node, const std::string& name) {
    node->name = name;
    node->parent = folder;
    folder->children[Key(name)] = node;
}

void Detach(Node* node) {
    node->parent->children.erase(Key(node->name));
    node->parent = nullptr;
}

void Record(ModelDisk* disk, JournalKind kind, Node* node, Node* fromParent,
            const std::string& fromName, Node* replaced, uint32_t oldAttributes) {
    disk->journal.push_back({kind, node, fromParent, fromName, replaced, oldAttributes});
}

// Takes a name out of the tree for good (a remove, or the last handle of a delete-pending name).
void Unlink(ModelDisk* disk, Node* node) {
    Node* parent = node->parent;
    Detach(node);
    node->deletePending = false;
    Record(disk, kRemoved, node, parent, node->name, nullptr, 0);
}

void Undo(const MetaOp& op) {
    switch (op.kind) {
        case kMade:
            Detach(op.node);
            break;
        case kRemoved:
            Attach(op.fromParent, op.node, op.fromName);
            break;
        case kRenamed: {
            Node* to = op.node->parent;
            Detach(op.node);
            if (op.replaced) Attach(to, op.replaced, op.replaced->name);
            Attach(op.fromParent, op.node, op.fromName);
            break;
        }
        case kAttributesSet:
            op.node->attributes = op.oldAttributes;
            break;
    }
}

uint64_t Clusters(uint64_t bytes, uint32_t clusterSize) {
    if (clusterSize == 0) return bytes;
    return (bytes / clusterSize + (bytes % clusterSize != 0)) * clusterSize;
}

uint64_t Used(const Node* folder, uint32_t clusterSize) {
    uint64_t used = 0;
    for (const auto& child : folder->children) {
        const Node* node = child.second;
        used += node->folder ? Used(node, clusterSize) : Clusters(node->bytes.size(), clusterSize);
    }
    return used;
}

uint64_t Free(const Drive* drive) {
    if (drive->readOnly) return 0;
    uint64_t used = Used(drive->root, drive->clusterSize);
    return drive->capacity > used ? drive->capacity - used : 0;
}

uint32_t ReportedAttributes(const Node* node) {
    uint32_t attributes = node->attributes | (node->folder ? (uint32_t)kFsFolder : 0u);
    return attributes ? attributes : kFsNormal;
}

// --- Handles, holds and denials ---

bool SharingAllows(uint32_t access, uint32_t share, const Handle& other) {
    // Opens without data access are neither checked nor recorded (IoCheckShareAccess).
    if (!(access & kDataAccess) || !(other.access & kDataAccess)) return true;
    if ((access & kFsRead) && !(other.share & kFsShareRead)) return false;
    if ((access & kFsWrite) && !(other.share & kFsShareWrite)) return false;
    if ((access & kFsDelete) && !(other.share & kFsShareDelete)) return false;
    if ((other.access & kFsRead) && !(share & kFsShareRead)) return false;
    if ((other.access & kFsWrite) && !(share & kFsShareWrite)) return false;
    if ((other.access & kFsDelete) && !(share & kFsShareDelete)) return false;
    return true;
}

// The first handle on `node` that an open with `access` and `share` conflicts with; 0 for none.
uint32_t Conflict(const ModelDisk* disk, const Node* node, uint32_t access, uint32_t share) {
    for (const auto& h : disk->handles) {
        if (h.second.node == node && !SharingAllows(access, share, h.second)) return h.first;
    }
    return 0;
}

bool IsUnder(const Node* node, const Node* folder) {
    for (; node; node = node->parent) {
        if (node == folder) return true;
    }
    return false;
}

bool HasHandles(const ModelDisk* disk, const Node* node) {
    for (const auto& h : disk->handles) {
        if (h.second.node == node) return true;
    }
    return false;
}

void CloseHandleNow(ModelDisk* disk, uint32_t id) {
    auto it = disk->handles.find(id);
    if (it == disk->handles.end()) return;
    Node* node = it->second.node;
    disk->handles.erase(it);
    if (node->deletePending && !HasHandles(disk, node)) Unlink(disk, node);
}

// A hold refused an operation: one that lasts for a number of refusals comes closer to its end.
void Refused(ModelDisk* disk, uint32_t id) {
    auto h = disk->handles.find(id);
    if (h != disk->handles.end()) {
        if (h->second.foreign && h->second.tries > 0 && --h->second.tries == 0) {
            CloseHandleNow(disk, id);
        }
        return;
    }
    auto d = disk->denials.find(id);
    if (d != disk->denials.end() && d->second.tries > 0 && --d->second.tries == 0) {
        disk->denials.erase(d);
    }
}

// The denial of that name, refused once more; 0 when the name is not denied.
uint32_t Denied(ModelDisk* disk, const PathParts& parts) {
    std::string key = FullKey(parts);
    for (const auto& d : disk->denials) {
        if (d.second.key == key) {
            uint32_t id = d.first;
            Refused(disk, id);
            return id;
        }
    }
    return 0;
}

void ExpireHolds(ModelFileSystem* model) {
    ModelDisk* disk = model->disk.get();
    std::vector<uint32_t> ended;
    for (const auto& h : disk->handles) {
        if (h.second.foreign && h.second.untilMs && h.second.untilMs <= model->nowMs) {
            ended.push_back(h.first);
        }
    }
    for (uint32_t id : ended) CloseHandleNow(disk, id);
    for (auto d = disk->denials.begin(); d != disk->denials.end();) {
        if (d->second.untilMs && d->second.untilMs <= model->nowMs) {
            d = disk->denials.erase(d);
        } else {
            ++d;
        }
    }
}

// --- The table's operations ---

ModelFileSystem* ModelOf(void* context) {
    return static_cast<ModelFileSystem*>(context);
}
std::string Text(const char* path) {
    return path ? path : "(null)";
}

bool Crashed(const ModelFileSystem* model) {
    return model->crashAt && model->operations >= model->crashAt;
}

// Counts and traces one call; false (with the error to return) when the plan makes it fail.
bool Begin(ModelFileSystem* model, const char* operation, const std::string& what, FsError* error) {
    uint32_t number = ++model->operations;
    if (model->tracing) model->trace.push_back(what.empty() ? operation : operation + (" " + what));
    if (Crashed(model)) {
        *error = kFsDeviceError;
        return false;
    }
    auto failure = model->failures.find(number);
    if (failure != model->failures.end()) {
        *error = failure->second;
        return false;
    }
    ExpireHolds(model);
    return true;
}

Handle* FindHandle(ModelFileSystem* model, FsFile file) {
    auto it = model->disk->handles.find((uint32_t)(uintptr_t)file);
    if (it == model->disk->handles.end() || it->second.foreign) return nullptr;
    return &it->second;
}

std::string HandleText(ModelFileSystem* model, FsFile file) {
    Handle* handle = FindHandle(model, file);
    return handle ? FullPath(handle->node) : "(no handle)";
}

FsError OpOpen(void* context, const char* path, uint32_t access, uint32_t share, FsCreate create,
               FsFile* file) {
    ModelFileSystem* model = ModelOf(context);
    ModelDisk* disk = model->disk.get();
    FsError error;
    if (!Begin(model, "open", Text(path), &error)) return error;
    PathParts parts;
    Node *parent, *node;
    if ((error = ParsePath(disk, path, false, &parts)) != kFsOk) return error;
    if ((error = Locate(disk, parts, &parent, &node)) != kFsOk) return error;
    if (Denied(disk, parts)) return kFsAccessDenied;
    Drive* drive = FindDrive(disk, parts.drive);
    bool changes =
        (access & (kFsWrite | kFsDelete | kFsWriteAttributes)) || create != kFsOpenExisting;
    if (node) {
        if (node->folder || node->deletePending) return kFsAccessDenied;
        if (create == kFsCreateNew) return kFsExists;
        if (drive->readOnly && changes) return kFsAccessDenied;
        bool overwrites = create == kFsCreateAlways;
        if ((node->attributes & kFsReadOnly) && ((access & kFsWrite) || overwrites)) {
            return kFsAccessDenied;
        }
        if (overwrites && (node->attributes & (kFsHidden | kFsSystem))) return kFsAccessDenied;
        if (uint32_t held = Conflict(disk, node, access, share)) {
            Refused(disk, held);
            return kFsHeld;
        }
        if (overwrites) {
            node->bytes.clear();
            node->attributes |= kFsArchive;
            node->times.written = node->times.accessed = Now(model);
        }
    } else {
        if (create == kFsOpenExisting) return kFsNotFound;
        if (drive->readOnly) return kFsAccessDenied;
        node = NewNode(model, false, parts.drive);
        Attach(parent, node, parts.names.back());
        Record(disk, kMade, node, nullptr, "", nullptr, 0);
    }
    uint32_t id = ++disk->lastId;
    disk->handles[id] = {node, access, share, 0, false, false, 0, 0};
    *file = reinterpret_cast<FsFile>((uintptr_t)id);
    return kFsOk;
}

FsError OpRead(void* context, FsFile file, void* buffer, uint32_t size, uint32_t* got) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "read", HandleText(model, file), &error)) return error;
    Handle* handle = FindHandle(model, file);
    if (!handle || (!buffer && size)) return kFsOther;
    if (!(handle->access & kFsRead)) return kFsAccessDenied;
    const std::string& bytes = handle->node->bytes;
    uint64_t left = handle->position < bytes.size() ? bytes.size() - handle->position : 0;
    uint32_t count = left < size ? (uint32_t)left : size;
    if (count) memcpy(buffer, bytes.data() + handle->position, count);
    handle->position += count;
    *got = count;
    return kFsOk;
}

FsError OpWrite(void* context, FsFile file, const void* buffer, uint32_t size) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "write", HandleText(model, file), &error)) return error;
    Handle* handle = FindHandle(model, file);
    if (!handle || (!buffer && size)) return kFsOther;
    if (!(handle->access & kFsWrite)) return kFsAccessDenied;
    Node* node = handle->node;
    Drive* drive = FindDrive(model->disk.get(), node->drive);
    uint64_t end = handle->position + size;
    if (end > node->bytes.size()) {
        // All or nothing: a write that does not fit leaves the file as it was.
        uint64_t grows =
            Clusters(end, drive->clusterSize) - Clusters(node->bytes.size(), drive->clusterSize);
        if (grows > Free(drive)) return kFsDiskFull;
        node->bytes.resize((size_t)end);
    }
    if (size) memcpy(&node->bytes[(size_t)handle->position], buffer, size);
    handle->position = end;
    node->attributes |= kFsArchive;
    if (!handle->timesSet) node->times.written = node->times.accessed = Now(model);
    return kFsOk;
}

FsError OpFlush(void* context, FsFile file) {
    ModelFileSystem* model = ModelOf(context);
    ModelDisk* disk = model->disk.get();
    FsError error;
    if (!Begin(model, "flush", HandleText(model, file), &error)) return error;
    Handle* handle = FindHandle(model, file);
    if (!handle) return kFsOther;
    if (!(handle->access & kFsWrite)) return kFsAccessDenied;  // as FlushFileBuffers
    Node* node = handle->node;
    node->durable = node->bytes;
    // The journal reaches the disk in order: up to this file's latest operation, all of it.
    for (size_t i = disk->journal.size(); i > disk->durable; --i) {
        if (disk->journal[i - 1].node == node) {
            disk->durable = i;
            break;
        }
    }
    return kFsOk;
}

FsError OpClose(void* context, FsFile file) {
    ModelFileSystem* model = ModelOf(context);
    FsError error = kFsOk;
    bool ran = Begin(model, "close", HandleText(model, file), &error);
    Handle* handle = FindHandle(model, file);
    if (!handle) return ran ? kFsOther : error;
    // A crashed process closes nothing; its handles stay open until it ends (ModelEndProcess).
    if (!ran && Crashed(model)) return error;
    CloseHandleNow(model->disk.get(), (uint32_t)(uintptr_t)file);
    return error;
}

FsError OpSize(void* context, FsFile file, uint64_t* size) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "size", HandleText(model, file), &error)) return error;
    Handle* handle = FindHandle(model, file);
    if (!handle) return kFsOther;
    *size = handle->node->bytes.size();
    return kFsOk;
}

FsError OpGetTimes(void* context, FsFile file, FsTimes* times) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "getTimes", HandleText(model, file), &error)) return error;
    Handle* handle = FindHandle(model, file);
    if (!handle || !times) return kFsOther;
    *times = handle->node->times;
    return kFsOk;
}

FsError OpSetTimes(void* context, FsFile file, const FsTimes* times) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "setTimes", HandleText(model, file), &error)) return error;
    Handle* handle = FindHandle(model, file);
    if (!handle || !times) return kFsOther;
    if (!(handle->access & (kFsWrite | kFsWriteAttributes))) return kFsAccessDenied;
    // A zero time is left as it is, as SetFileTime leaves it.
    FsTimes* now = &handle->node->times;
    if (times->created) now->created = times->created;
    if (times->accessed) now->accessed = times->accessed;
    if (times->written) now->written = times->written;
    handle->timesSet = true;
    return kFsOk;
}

FsError OpGetAttributes(void* context, const char* path, uint32_t* attributes) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "getAttributes", Text(path), &error)) return error;
    PathParts parts;
    Node *parent, *node;
    if ((error = ParsePath(model->disk.get(), path, false, &parts)) != kFsOk) return error;
    if ((error = Locate(model->disk.get(), parts, &parent, &node)) != kFsOk) return error;
    if (!node) return kFsNotFound;
    // GetFileAttributes opens the name, and a delete-pending name cannot be opened.
    if (node->deletePending) return kFsAccessDenied;
    *attributes = ReportedAttributes(node);
    return kFsOk;
}

FsError OpSetAttributes(void* context, const char* path, uint32_t attributes) {
    ModelFileSystem* model = ModelOf(context);
    ModelDisk* disk = model->disk.get();
    FsError error;
    if (!Begin(model, "setAttributes", Text(path), &error)) return error;
    PathParts parts;
    Node *parent, *node;
    if ((error = ParsePath(disk, path, false, &parts)) != kFsOk) return error;
    if ((error = Locate(disk, parts, &parent, &node)) != kFsOk) return error;
    if (!node) return kFsNotFound;
    if (node->deletePending || FindDrive(disk, parts.drive)->readOnly) return kFsAccessDenied;
    uint32_t kept = attributes & kKeptAttributes;
    if (kept != node->attributes) {
        Record(disk, kAttributesSet, node, nullptr, "", nullptr, node->attributes);
        node->attributes = kept;
    }
    return kFsOk;
}

// Why the file or folder `node` cannot be taken away from its name (renamed from it): 0 when it
// can. `id` receives the handle that stands in the way, if any.
FsError SourceRefusal(ModelDisk* disk, const Node* node, uint32_t* id) {
    *id = 0;
    if (!node->parent || node->deletePending) return kFsAccessDenied;
    if ((*id = Conflict(disk, node, kFsDelete, kFsShareAll)) != 0) return kFsHeld;
    if (node->folder) {
        // NTFS refuses to rename a folder while anything under it is open.
        for (const auto& h : disk->handles) {
            if (h.second.node != node && IsUnder(h.second.node, node)) {
                *id = h.first;
                return kFsAccessDenied;
            }
        }
    }
    return kFsOk;
}

// Why `target` cannot be replaced by a rename with kFsReplace; kFsOk when it can.
FsError TargetRefusal(ModelDisk* disk, const Node* target, uint32_t* id) {
    *id = 0;
    if (target->folder || target->deletePending || (target->attributes & kFsReadOnly)) {
        return kFsAccessDenied;
    }
    // NTFS will not supersede a file that is open, whatever the sharing of its handles.
    for (const auto& h : disk->handles) {
        if (h.second.node == target) {
            *id = h.first;
            return kFsAccessDenied;
        }
    }
    return kFsOk;
}

FsError OpRename(void* context, const char* from, const char* to, uint32_t flags) {
    ModelFileSystem* model = ModelOf(context);
    ModelDisk* disk = model->disk.get();
    FsError error;
    if (!Begin(model, "rename", Text(from) + " > " + Text(to), &error)) return error;
    PathParts fromParts, toParts;
    Node *fromParent, *node, *toParent, *target;
    if ((error = ParsePath(disk, from, false, &fromParts)) != kFsOk) return error;
    if ((error = Locate(disk, fromParts, &fromParent, &node)) != kFsOk) return error;
    if (!node) return kFsNotFound;
    if ((error = ParsePath(disk, to, false, &toParts)) != kFsOk) return error;
    if ((error = Locate(disk, toParts, &toParent, &target)) != kFsOk) return error;
    if (fromParts.drive != toParts.drive) return kFsOther;  // ERROR_NOT_SAME_DEVICE
    if (FindDrive(disk, fromParts.drive)->readOnly) return kFsAccessDenied;
    if (Denied(disk, fromParts) || Denied(disk, toParts)) return kFsAccessDenied;
    uint32_t holder;
    if ((error = SourceRefusal(disk, node, &holder)) != kFsOk) {
        Refused(disk, holder);
        return error;
    }
    if (!toParent || (node->folder && IsUnder(toParent, node))) return kFsOther;
    if (target == node) target = nullptr;  // the same name, perhaps in another case
    if (target) {
        if (!(flags & kFsReplace)) return kFsExists;
        if ((error = TargetRefusal(disk, target, &holder)) != kFsOk) {
            Refused(disk, holder);
            return error;
        }
        Detach(target);
    }
    const std::string& toName = toParts.names.back();
    if (target || node->parent != toParent || node->name != toName) {
        Node* oldParent = node->parent;
        std::string oldName = node->name;
        Detach(node);
        Attach(toParent, node, toName);
        Record(disk, kRenamed, node, oldParent, oldName, target, 0);
    }
    if (flags & kFsWriteThrough) disk->durable = disk->journal.size();
    return kFsOk;
}

// The checks DeleteFile and RemoveDirectory share: what they open, they open for delete.
FsError RemoveRefusal(ModelDisk* disk, const PathParts& parts, Node* node) {
    if (!node->parent || FindDrive(disk, parts.drive)->readOnly) return kFsAccessDenied;
    if (Denied(disk, parts) || node->deletePending) return kFsAccessDenied;
    if (node->attributes & kFsReadOnly) return kFsAccessDenied;
    return kFsOk;
}

// Removes `node` now, or marks it delete pending when handles that all share delete have it.
FsError RemoveNode(ModelDisk* disk, Node* node) {
    if (uint32_t held = Conflict(disk, node, kFsDelete, kFsShareAll)) {
        Refused(disk, held);
        return kFsHeld;
    }
    if (HasHandles(disk, node)) {
        node->deletePending = true;
    } else {
        Unlink(disk, node);
    }
    return kFsOk;
}

FsError OpRemove(void* context, const char* path) {
    ModelFileSystem* model = ModelOf(context);
    ModelDisk* disk = model->disk.get();
    FsError error;
    if (!Begin(model, "remove", Text(path), &error)) return error;
    PathParts parts;
    Node *parent, *node;
    if ((error = ParsePath(disk, path, false, &parts)) != kFsOk) return error;
    if ((error = Locate(disk, parts, &parent, &node)) != kFsOk) return error;
    if (!node) return kFsNotFound;
    if (node->folder) return kFsAccessDenied;  // DeleteFile on a folder
    if ((error = RemoveRefusal(disk, parts, node)) != kFsOk) return error;
    return RemoveNode(disk, node);
}

FsError OpMakeFolder(void* context, const char* path) {
    ModelFileSystem* model = ModelOf(context);
    ModelDisk* disk = model->disk.get();
    FsError error;
    if (!Begin(model, "makeFolder", Text(path), &error)) return error;
    PathParts parts;
    Node *parent, *node;
    if ((error = ParsePath(disk, path, false, &parts)) != kFsOk) return error;
    if ((error = Locate(disk, parts, &parent, &node)) != kFsOk) return error;
    if (node) return kFsExists;
    if (FindDrive(disk, parts.drive)->readOnly) return kFsAccessDenied;
    node = NewNode(model, true, parts.drive);
    Attach(parent, node, parts.names.back());
    Record(disk, kMade, node, nullptr, "", nullptr, 0);
    return kFsOk;
}

FsError OpRemoveFolder(void* context, const char* path) {
    ModelFileSystem* model = ModelOf(context);
    ModelDisk* disk = model->disk.get();
    FsError error;
    if (!Begin(model, "removeFolder", Text(path), &error)) return error;
    PathParts parts;
    Node *parent, *node;
    if ((error = ParsePath(disk, path, false, &parts)) != kFsOk) return error;
    if ((error = Locate(disk, parts, &parent, &node)) != kFsOk) return error;
    if (!node) return kFsNotFound;
    if (!node->folder) return kFsOther;  // ERROR_DIRECTORY
    if ((error = RemoveRefusal(disk, parts, node)) != kFsOk) return error;
    if (!node->children.empty()) return kFsOther;  // ERROR_DIR_NOT_EMPTY
    return RemoveNode(disk, node);
}

FsError OpFreeSpace(void* context, const char* folder, uint64_t* available, uint32_t* clusterSize) {
    ModelFileSystem* model = ModelOf(context);
    ModelDisk* disk = model->disk.get();
    FsError error;
    if (!Begin(model, "freeSpace", Text(folder), &error)) return error;
    PathParts parts;
    Node *parent, *node;
    if ((error = ParsePath(disk, folder, false, &parts)) != kFsOk) return error;
    if ((error = Locate(disk, parts, &parent, &node)) != kFsOk) return error;
    if (!node || !node->folder) return kFsPathNotFound;
    Drive* drive = FindDrive(disk, parts.drive);
    *available = Free(drive);
    *clusterSize = drive->clusterSize;
    return kFsOk;
}

// --- Patterns, as FindFirstFile turns '*', '?' and '.' into NT's DOS wildcards ---

enum TokenKind { kLiteral, kStar, kDosStar, kDosQm, kDosDot };
struct Token {
    TokenKind kind;
    std::string text;  // kLiteral: one character, one or two bytes
};

// Characters of `text`, a double-byte one whole.
std::vector<std::string> Characters(const std::string& text) {
    std::vector<std::string> characters;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t n = IsCp932LeadByte((uint8_t)text[i]) && i + 1 < text.size() ? 2 : 1;
        characters.push_back(text.substr(i, n));
        i += n - 1;
    }
    return characters;
}

// '?' is DOS_QM; '*' before '.' is DOS_STAR; '.' before '?', '*' or the end is DOS_DOT.
std::vector<Token> Tokens(const std::string& pattern) {
    std::vector<std::string> c = Characters(pattern);
    std::vector<Token> tokens;
    for (size_t i = 0; i < c.size(); ++i) {
        bool last = i + 1 == c.size();
        if (c[i] == "?") {
            tokens.push_back({kDosQm, ""});
        } else if (c[i] == "*") {
            tokens.push_back({!last && c[i + 1] == "." ? kDosStar : kStar, ""});
        } else if (c[i] == "." && (last || c[i + 1] == "?" || c[i + 1] == "*")) {
            tokens.push_back({kDosDot, ""});
        } else {
            tokens.push_back({kLiteral, c[i]});
        }
    }
    return tokens;
}

bool Matches(const std::vector<Token>& p, size_t t, const std::vector<std::string>& name,
             size_t n) {
    if (t == p.size()) return n == name.size();
    switch (p[t].kind) {
        case kLiteral:
            return n < name.size() && name[n] == p[t].text && Matches(p, t + 1, name, n + 1);
        case kStar:
            for (size_t k = n; k <= name.size(); ++k) {
                if (Matches(p, t + 1, name, k)) return true;
            }
            return false;
        case kDosStar: {
            // Any characters, but never past the name's last '.'.
            size_t limit = name.size();
            for (size_t k = name.size(); k > n; --k) {
                if (name[k - 1] == ".") {
                    limit = k - 1;
                    break;
                }
            }
            for (size_t k = n; k <= limit; ++k) {
                if (Matches(p, t + 1, name, k)) return true;
            }
            return false;
        }
        case kDosQm:
            if (n == name.size() || name[n] == ".") {
                // At a '.' or the end, the run of '?' matches nothing.
                while (t < p.size() && p[t].kind == kDosQm) ++t;
                return Matches(p, t, name, n);
            }
            return Matches(p, t + 1, name, n + 1);
        case kDosDot:
            if (n == name.size()) return Matches(p, t + 1, name, n);
            return name[n] == "." && Matches(p, t + 1, name, n + 1);
    }
    return false;
}

void Found(const Node* node, FsFound* found) {
    memset(found->name, 0, sizeof found->name);
    memcpy(found->name, node->name.data(), std::min(node->name.size(), sizeof found->name - 1));
    found->attributes = ReportedAttributes(node);
    found->size = node->folder ? 0 : node->bytes.size();
}

FsError OpFindFirst(void* context, const char* pattern, FsSearch* search, FsFound* found) {
    ModelFileSystem* model = ModelOf(context);
    ModelDisk* disk = model->disk.get();
    FsError error;
    if (!Begin(model, "findFirst", Text(pattern), &error)) return error;
    PathParts parts;
    Node *parent, *node;
    if ((error = ParsePath(disk, pattern, true, &parts)) != kFsOk) return error;
    // The last component is the pattern; "C:\Games\" has none and finds nothing.
    size_t length = strlen(pattern);
    if (parts.names.empty() || IsSeparator(pattern[length - 1])) return kFsNotFound;
    std::string last = parts.names.back();
    parts.names.back() = "x";
    if ((error = Locate(disk, parts, &parent, &node)) != kFsOk) return error;
    std::vector<Token> tokens = Tokens(Key(last));
    Search s = {{}, 1};
    for (const auto& child : parent->children) {
        if (Matches(tokens, 0, Characters(child.first), 0)) {
            s.found.emplace_back();
            Found(child.second, &s.found.back());
        }
    }
    if (s.found.empty()) return kFsNotFound;
    *found = s.found[0];
    uint32_t id = ++disk->lastId;
    disk->searches[id] = s;
    *search = reinterpret_cast<FsSearch>((uintptr_t)id);
    return kFsOk;
}

FsError OpFindNext(void* context, FsSearch search, FsFound* found) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "findNext", "", &error)) return error;
    auto it = model->disk->searches.find((uint32_t)(uintptr_t)search);
    if (it == model->disk->searches.end()) return kFsOther;
    Search& s = it->second;
    if (s.next >= s.found.size()) return kFsNotFound;
    *found = s.found[s.next++];
    return kFsOk;
}

void OpFindClose(void* context, FsSearch search) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    Begin(model, "findClose", "", &error);
    model->disk->searches.erase((uint32_t)(uintptr_t)search);  // it ends whatever happens
}

FsError OpMarkUpdated(void* context) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "markUpdated", "", &error)) return error;
    model->updated = true;
    return kFsOk;
}

FsError OpNoteCommit(void* context, const char* folder) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "noteCommit", Text(folder), &error)) return error;
    model->notedCommit = folder;
    return kFsOk;
}

FsError OpNotedCommit(void* context, char* folder) {
    ModelFileSystem* model = ModelOf(context);
    FsError error;
    if (!Begin(model, "notedCommit", "", &error)) return error;
    snprintf(folder, kUpdatePathBytes, "%s", model->notedCommit.c_str());
    return kFsOk;
}

// --- Helpers for the tests ---

Drive* EnsureDrive(ModelFileSystem* model, char letter) {
    if (!FindDrive(model->disk.get(), letter)) {
        ModelSetDrive(model, letter, kModelDefaultCapacity, kModelDefaultCluster, false);
    }
    return FindDrive(model->disk.get(), letter);
}

// The node of `path`, or null; the model is only read.
Node* Lookup(const ModelFileSystem* model, const char* path) {
    PathParts parts;
    Node *parent, *node;
    if (ParsePath(model->disk.get(), path, false, &parts) != kFsOk) return nullptr;
    if (Locate(model->disk.get(), parts, &parent, &node) != kFsOk) return nullptr;
    return node;
}

void SnapshotInto(const Node* folder, const std::string& prefix,
                  std::map<std::string, std::string>* out) {
    for (const auto& child : folder->children) {
        const Node* node = child.second;
        std::string path = prefix + node->name;
        if (node->folder) {
            (*out)[path + "\\"] = "";
            SnapshotInto(node, path + "\\", out);
        } else {
            (*out)[path] = node->bytes;
        }
    }
}

uint32_t AddHold(ModelFileSystem* model, const char* path, uint32_t access, uint32_t share,
                 uint64_t untilMs, uint32_t tries) {
    Node* node = Lookup(model, path);
    if (!node) return 0;
    ModelDisk* disk = model->disk.get();
    uint32_t id = ++disk->lastId;
    disk->handles[id] = {node, access, share, 0, false, true, untilMs, tries};
    return id;
}

}  // namespace

void ModelInit(ModelFileSystem* model) {
    model->disk.reset(new ModelDisk());
    model->nowMs = 0;
    model->operations = 0;
    model->tracing = false;
    model->trace.clear();
    model->failures.clear();
    model->crashAt = 0;
    model->updated = false;
    model->notedCommit.clear();
    UpdateFileSystem* fs = &model->fs;
    fs->context = model;
    fs->open = OpOpen;
    fs->read = OpRead;
    fs->write = OpWrite;
    fs->flush = OpFlush;
    fs->close = OpClose;
    fs->size = OpSize;
    fs->getTimes = OpGetTimes;
    fs->setTimes = OpSetTimes;
    fs->getAttributes = OpGetAttributes;
    fs->setAttributes = OpSetAttributes;
    fs->rename = OpRename;
    fs->remove = OpRemove;
    fs->makeFolder = OpMakeFolder;
    fs->removeFolder = OpRemoveFolder;
    fs->freeSpace = OpFreeSpace;
    fs->findFirst = OpFindFirst;
    fs->findNext = OpFindNext;
    fs->findClose = OpFindClose;
    fs->markUpdated = OpMarkUpdated;
    fs->noteCommit = OpNoteCommit;
    fs->notedCommit = OpNotedCommit;
}

void ModelSetDrive(ModelFileSystem* model, char letter, uint64_t capacity, uint32_t clusterSize,
                   bool readOnly) {
    letter = UpperDrive(letter);
    Drive* drive = FindDrive(model->disk.get(), letter);
    if (!drive) {
        drive = &model->disk->drives[letter];
        drive->root = NewNode(model, true, letter);
    }
    drive->capacity = capacity;
    drive->clusterSize = clusterSize;
    drive->readOnly = readOnly;
}

void ModelSetCurrentFolder(ModelFileSystem* model, const char* folder) {
    model->disk->current = folder;
}

bool ModelAddFolder(ModelFileSystem* model, const char* path) {
    PathParts parts;
    if (ParsePath(model->disk.get(), path, false, &parts) != kFsOk) return false;
    Node* folder = EnsureDrive(model, parts.drive)->root;
    for (const std::string& name : parts.names) {
        Node* next = Child(folder, name);
        if (!next) {
            next = NewNode(model, true, parts.drive);
            Attach(folder, next, name);
        }
        if (!next->folder) return false;
        folder = next;
    }
    return true;
}

bool ModelAddFile(ModelFileSystem* model, const char* path, const std::string& bytes,
                  uint32_t attributes, const FsTimes* times) {
    PathParts parts;
    if (ParsePath(model->disk.get(), path, false, &parts) != kFsOk || parts.names.empty()) {
        return false;
    }
    std::string folderPath(1, parts.drive);
    folderPath += ":";
    for (size_t i = 0; i + 1 < parts.names.size(); ++i) folderPath += "\\" + parts.names[i];
    if (!ModelAddFolder(model, folderPath.c_str())) return false;
    Node *parent, *node;
    if (Locate(model->disk.get(), parts, &parent, &node) != kFsOk) return false;
    if (node && node->folder) return false;
    if (!node) {
        node = NewNode(model, false, parts.drive);
        Attach(parent, node, parts.names.back());
    }
    node->bytes = node->durable = bytes;
    node->attributes = attributes & kKeptAttributes;
    if (times) node->times = *times;
    return true;
}

bool ModelExists(const ModelFileSystem* model, const char* path) {
    return Lookup(model, path) != nullptr;
}

bool ModelReadFile(const ModelFileSystem* model, const char* path, std::string* bytes) {
    Node* node = Lookup(model, path);
    if (!node || node->folder) return false;
    *bytes = node->bytes;
    return true;
}

bool ModelGetAttributes(const ModelFileSystem* model, const char* path, uint32_t* attributes) {
    Node* node = Lookup(model, path);
    if (!node) return false;
    *attributes = ReportedAttributes(node);
    return true;
}

bool ModelGetTimes(const ModelFileSystem* model, const char* path, FsTimes* times) {
    Node* node = Lookup(model, path);
    if (!node) return false;
    *times = node->times;
    return true;
}

bool ModelIsDeletePending(const ModelFileSystem* model, const char* path) {
    Node* node = Lookup(model, path);
    return node && node->deletePending;
}

std::map<std::string, std::string> ModelSnapshot(const ModelFileSystem* model, const char* folder) {
    std::map<std::string, std::string> snapshot;
    Node* node = Lookup(model, folder);
    if (node && node->folder) SnapshotInto(node, "", &snapshot);
    return snapshot;
}

std::vector<std::string> ModelOpenHandles(const ModelFileSystem* model) {
    std::vector<std::string> paths;
    for (const auto& h : model->disk->handles) {
        if (!h.second.foreign) paths.push_back(FullPath(h.second.node));
    }
    return paths;
}

uint64_t ModelFreeBytes(const ModelFileSystem* model, char letter) {
    Drive* drive = FindDrive(model->disk.get(), letter);
    return drive ? Free(drive) : 0;
}

void ModelAdvanceClock(ModelFileSystem* model, uint64_t ms) {
    model->nowMs += ms;
    ExpireHolds(model);
}

void ModelWait(void* context, uint32_t ms) {
    ModelAdvanceClock(ModelOf(context), ms);
}

uint32_t ModelHold(ModelFileSystem* model, const char* path, uint32_t access, uint32_t share) {
    return AddHold(model, path, access, share, 0, 0);
}

uint32_t ModelHoldUntil(ModelFileSystem* model, const char* path, uint32_t access, uint32_t share,
                        uint64_t untilMs) {
    return AddHold(model, path, access, share, untilMs, 0);
}

uint32_t ModelHoldForTries(ModelFileSystem* model, const char* path, uint32_t access,
                           uint32_t share, uint32_t tries) {
    return AddHold(model, path, access, share, 0, tries);
}

uint32_t ModelDeny(ModelFileSystem* model, const char* path, uint64_t untilMs, uint32_t tries) {
    PathParts parts;
    if (ParsePath(model->disk.get(), path, false, &parts) != kFsOk) return 0;
    uint32_t id = ++model->disk->lastId;
    model->disk->denials[id] = {FullKey(parts), untilMs, tries};
    return id;
}

void ModelRelease(ModelFileSystem* model, uint32_t id) {
    ModelDisk* disk = model->disk.get();
    auto h = disk->handles.find(id);
    if (h != disk->handles.end() && h->second.foreign) CloseHandleNow(disk, id);
    disk->denials.erase(id);
}

void ModelEndProcess(ModelFileSystem* model) {
    ModelDisk* disk = model->disk.get();
    std::vector<uint32_t> own;
    for (const auto& h : disk->handles) {
        if (!h.second.foreign) own.push_back(h.first);
    }
    for (uint32_t id : own) CloseHandleNow(disk, id);
    disk->searches.clear();
    model->failures.clear();
    model->crashAt = 0;
}

uint32_t ModelPendingMetadataCount(const ModelFileSystem* model) {
    return (uint32_t)(model->disk->journal.size() - model->disk->durable);
}

void ModelPowerCut(ModelFileSystem* model, uint32_t keepPrefix) {
    ModelDisk* disk = model->disk.get();
    size_t keep = disk->durable + std::min<size_t>(keepPrefix, ModelPendingMetadataCount(model));
    for (size_t i = disk->journal.size(); i > keep; --i) Undo(disk->journal[i - 1]);
    disk->journal.clear();
    disk->durable = 0;
    for (const auto& node : disk->nodes) {
        node->bytes = node->durable;
        node->deletePending = false;
    }
    disk->handles.clear();
    disk->denials.clear();
    disk->searches.clear();
    model->failures.clear();
    model->crashAt = 0;
}
