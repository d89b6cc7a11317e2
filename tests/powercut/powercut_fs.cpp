// A file system that forgets what was not flushed, for power cut tests:
//   powercut_fs BACKING MOUNTPOINT IMAGE [--cut-at=N] [--prefix-seed=S] [--fat]
// It mounts a copy of the folder BACKING, kept in memory. Every change the
// kernel passes on is logged; a flush makes part of the log durable: the data
// and attributes of a file by fsync (fdatasync: its data), the names a
// folder's entries were given by create, mkdir, rename, link and unlink by
// fsync of that folder. The N-th operation (a change, a flush, an open or a
// read) is the power cut: it and every operation after it fail with EIO.
// At unmount the folder IMAGE is made: after a cut, what survived it (the
// durable changes, plus with a prefix seed a random prefix of the others, as
// a disk that writes in order gets part of the way); without one, everything.
// --fat refuses what exFAT through FUSE lacks: rename flags (EINVAL), hard
// links (EPERM) and modes (EPERM). Unnamed files (O_TMPFILE) are refused by
// the kernel itself for any FUSE file system that does not offer them.
// Prints MOUNTED once mounted; at the end, the number of operations and,
// after a cut, which operation it hit and how much of the rest survived.
#define FUSE_USE_VERSION 34
#include <fuse_lowlevel.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

struct Node {
    bool dir = false;
    mode_t mode = 0644;
    timespec mtime{};
    std::string data;                           // a file's bytes
    std::map<std::string, fuse_ino_t> entries;  // a folder's names
    nlink_t links = 0;
};

using Tree = std::unordered_map<fuse_ino_t, Node>;

// A name given to an inode, or with ino 0 taken away.
struct NameChange {
    fuse_ino_t folder;
    std::string name;
    fuse_ino_t ino;
};

// One change as the kernel passed it on.
struct Change {
    enum Kind { Names, Write, Truncate, Attributes } kind = Names;
    fuse_ino_t ino = 0;             // the file of a data change
    std::vector<NameChange> names;  // applied together, as a rename is
    std::optional<Node> born;       // what a create or mkdir made, before its data
    off_t offset = 0;               // Write: where; Truncate: the new size
    std::string bytes;
    std::optional<mode_t> mode;
    std::optional<timespec> mtime;
    std::set<fuse_ino_t> unflushedFolders;  // Names: durable once these are all flushed
    bool durable = false;
};

timespec now()
{
    timespec time{};
    clock_gettime(CLOCK_REALTIME, &time);
    return time;
}

constexpr size_t kBlock = 4096;

class PowerCutFs {
public:
    bool fat = false;
    long cutAt = 0;           // 0: never
    unsigned prefixSeed = 0;  // 0: nothing unflushed survives

    void load(const std::filesystem::path& backing) { loadFolder(backing, FUSE_ROOT_ID); }

    // Each operation that counts towards the cut asks first; false: fail it.
    bool powered(const std::string& what)
    {
        if (cut_)
            return false;
        if (++operations_ == cutAt) {
            cut_ = true;
            cutWhat_ = what;
            return false;
        }
        return true;
    }
    bool cut() const { return cut_; }

    Node* find(fuse_ino_t ino)
    {
        const auto found = live_.find(ino);
        return found == live_.end() ? nullptr : &found->second;
    }
    fuse_ino_t child(fuse_ino_t folder, const std::string& name)
    {
        const Node* node = find(folder);
        if (!node)
            return 0;
        const auto found = node->entries.find(name);
        return found == node->entries.end() ? 0 : found->second;
    }

    struct stat attributes(fuse_ino_t ino)
    {
        const Node& node = live_.at(ino);
        struct stat info {};
        info.st_ino = ino;
        info.st_mode = (node.dir ? S_IFDIR : S_IFREG) | node.mode;
        info.st_nlink = node.dir ? 2 : node.links;
        info.st_uid = ::getuid();
        info.st_gid = ::getgid();
        info.st_size = node.dir ? 4096 : off_t(node.data.size());
        info.st_blksize = 4096;
        info.st_blocks = (info.st_size + 511) / 512;
        info.st_mtim = info.st_ctim = info.st_atim = node.mtime;
        return info;
    }

    fuse_ino_t make(fuse_ino_t folder, const std::string& name, bool dir, mode_t mode)
    {
        const fuse_ino_t ino = next_++;
        Node node;
        node.dir = dir;
        node.mode = fat ? (dir ? 0755 : 0644) : (mode & 07777);
        node.mtime = now();
        Change change;
        change.kind = Change::Names;
        change.born = node;
        change.names = {{folder, name, ino}};
        live_[ino] = node;
        log(std::move(change));
        return ino;
    }

    // Applies and logs a change of names.
    void changeNames(std::vector<NameChange> names)
    {
        Change change;
        change.kind = Change::Names;
        change.names = std::move(names);
        log(std::move(change));
    }

    // Logged block by block: a disk may have written part of a large write.
    void write(fuse_ino_t ino, off_t offset, const char* bytes, size_t size)
    {
        for (size_t done = 0; done < size; done += kBlock) {
            Change change;
            change.kind = Change::Write;
            change.ino = ino;
            change.offset = offset + off_t(done);
            change.bytes.assign(bytes + done, std::min(kBlock, size - done));
            log(std::move(change));
        }
        live_.at(ino).mtime = now();
    }

    void truncate(fuse_ino_t ino, off_t size)
    {
        Change change;
        change.kind = Change::Truncate;
        change.ino = ino;
        change.offset = size;
        log(std::move(change));
    }

    void setAttributes(fuse_ino_t ino, std::optional<mode_t> mode, std::optional<timespec> mtime)
    {
        Change change;
        change.kind = Change::Attributes;
        change.ino = ino;
        change.mode = mode;
        change.mtime = mtime;
        log(std::move(change));
    }

    void flushFile(fuse_ino_t ino, bool dataOnly)
    {
        for (Change& change : log_)
            if (change.ino == ino && (change.kind != Change::Attributes || !dataOnly))
                change.durable = true;
    }

    void flushFolder(fuse_ino_t ino)
    {
        for (Change& change : log_)
            if (change.kind == Change::Names && change.unflushedFolders.erase(ino) && change.unflushedFolders.empty())
                change.durable = true;
    }

    // What is left: after a cut the durable changes and, with a prefix seed,
    // a random prefix of the others; without a cut everything.
    void writeImage(const std::filesystem::path& image)
    {
        Tree survived = initial_;
        size_t volatileKept = 0;
        size_t volatileCount =
            size_t(std::count_if(log_.begin(), log_.end(), [](const Change& c) { return !c.durable; }));
        if (!cut_) {
            volatileKept = volatileCount;
        } else if (prefixSeed != 0) {
            std::mt19937 random(prefixSeed);
            volatileKept = std::uniform_int_distribution<size_t>(0, volatileCount)(random);
        }
        size_t volatileSeen = 0;
        for (const Change& change : log_) {
            if (!change.durable && volatileSeen++ >= volatileKept)
                continue;
            apply(survived, change);
        }
        std::filesystem::create_directories(image);
        std::set<fuse_ino_t> onPath;
        std::map<fuse_ino_t, std::filesystem::path> written;
        writeFolder(survived, FUSE_ROOT_ID, image, onPath, written);
        std::printf("OPERATIONS %ld\n", operations_);
        if (cut_)
            std::printf("CUT at %ld: %s; %zu of %zu changes durable, %zu of %zu unflushed kept\n", cutAt,
                        cutWhat_.c_str(), log_.size() - volatileCount, log_.size(), volatileKept, volatileCount);
    }

private:
    void log(Change change)
    {
        if (change.kind == Change::Names) {
            for (const NameChange& name : change.names) {
                change.unflushedFolders.insert(name.folder);
                live_.at(name.folder).mtime = now();  // so that a change of names shows
            }
        }
        apply(live_, change);
        log_.push_back(std::move(change));
    }

    // A node the tree does not hold yet: made by a change that did not
    // survive, it starts empty, as the disk would have it.
    static Node& nodeIn(Tree& tree, fuse_ino_t ino, const Node& like)
    {
        const auto found = tree.find(ino);
        if (found != tree.end())
            return found->second;
        Node node;
        node.dir = like.dir;
        node.mode = like.mode;
        node.mtime = like.mtime;
        return tree[ino] = node;
    }

    void apply(Tree& tree, const Change& change)
    {
        switch (change.kind) {
        case Change::Names:
            if (change.born && !tree.count(change.names.front().ino))
                tree[change.names.front().ino] = *change.born;
            for (const NameChange& name : change.names) {
                Node& folder = nodeIn(tree, name.folder, live_.at(name.folder));
                const auto old = folder.entries.find(name.name);
                if (old != folder.entries.end()) {
                    if (tree.count(old->second))
                        --tree[old->second].links;
                    folder.entries.erase(old);
                }
                if (name.ino != 0) {
                    folder.entries[name.name] = name.ino;
                    ++nodeIn(tree, name.ino, live_.at(name.ino)).links;
                }
            }
            break;
        case Change::Write: {
            Node& node = nodeIn(tree, change.ino, live_.at(change.ino));
            if (node.data.size() < size_t(change.offset) + change.bytes.size())
                node.data.resize(size_t(change.offset) + change.bytes.size());
            std::copy(change.bytes.begin(), change.bytes.end(), node.data.begin() + change.offset);
            break;
        }
        case Change::Truncate:
            nodeIn(tree, change.ino, live_.at(change.ino)).data.resize(size_t(change.offset));
            break;
        case Change::Attributes: {
            Node& node = nodeIn(tree, change.ino, live_.at(change.ino));
            if (change.mode)
                node.mode = *change.mode;
            if (change.mtime)
                node.mtime = *change.mtime;
            break;
        }
        }
    }

    void loadFolder(const std::filesystem::path& path, fuse_ino_t ino)
    {
        Node folder;
        folder.dir = true;
        folder.mode = 0755;
        folder.mtime = now();
        for (const auto& entry : std::filesystem::directory_iterator(path)) {
            const fuse_ino_t child = next_++;
            struct stat info {};
            ::lstat(entry.path().c_str(), &info);
            if (S_ISDIR(info.st_mode)) {
                loadFolder(entry.path(), child);
            } else if (S_ISREG(info.st_mode)) {
                Node file;
                file.mode = info.st_mode & 07777;
                file.mtime = info.st_mtim;
                file.links = 1;
                std::ifstream in(entry.path(), std::ios::binary);
                file.data.assign(std::istreambuf_iterator<char>(in), {});
                live_[child] = file;
            } else {
                continue;
            }
            folder.entries[entry.path().filename()] = child;
        }
        live_[ino] = initial_[ino] = folder;
        for (const auto& [name, child] : folder.entries)
            initial_[child] = live_[child];
    }

    static void writeFolder(const Tree& tree, fuse_ino_t ino, const std::filesystem::path& path,
                            std::set<fuse_ino_t>& onPath, std::map<fuse_ino_t, std::filesystem::path>& written)
    {
        if (!onPath.insert(ino).second)
            return;  // a folder inside itself: a name that did not survive would have kept it out
        for (const auto& [name, child] : tree.at(ino).entries) {
            const auto found = tree.find(child);
            if (found == tree.end())
                continue;
            const Node& node = found->second;
            const std::filesystem::path to = path / name;
            if (node.dir) {
                std::filesystem::create_directory(to);
                writeFolder(tree, child, to, onPath, written);
            } else if (written.count(child)) {
                if (::link(written[child].c_str(), to.c_str()) != 0)
                    std::perror(to.c_str());
            } else {
                std::ofstream(to, std::ios::binary).write(node.data.data(), std::streamsize(node.data.size()));
                ::chmod(to.c_str(), node.mode);
                const timespec times[2] = {node.mtime, node.mtime};
                ::utimensat(AT_FDCWD, to.c_str(), times, 0);
                written[child] = to;
            }
        }
        onPath.erase(ino);
    }

    Tree live_;
    Tree initial_;
    std::vector<Change> log_;
    fuse_ino_t next_ = FUSE_ROOT_ID + 1;
    long operations_ = 0;
    bool cut_ = false;
    std::string cutWhat_;
};

PowerCutFs& fs(fuse_req_t req) { return *static_cast<PowerCutFs*>(fuse_req_userdata(req)); }

// No caching in the kernel: every look goes to the file system, which after a
// cut fails it.
void replyEntry(fuse_req_t req, fuse_ino_t ino)
{
    fuse_entry_param entry{};
    entry.ino = ino;
    entry.generation = 1;
    entry.attr = fs(req).attributes(ino);
    fuse_reply_entry(req, &entry);
}

// Fails the request after a cut; counted is whether it may be the cut itself.
bool refused(fuse_req_t req, const std::string& what, bool counted = true)
{
    PowerCutFs& self = fs(req);
    if (counted ? self.powered(what) : !self.cut())
        return false;
    fuse_reply_err(req, EIO);
    return true;
}

void onInit(void*, fuse_conn_info* conn)
{
    // Every write reaches the file system as the program made it.
    conn->want &= ~(FUSE_CAP_WRITEBACK_CACHE | FUSE_CAP_SPLICE_READ | FUSE_CAP_SPLICE_WRITE | FUSE_CAP_SPLICE_MOVE);
}

void onLookup(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    if (refused(req, "lookup", false))
        return;
    const fuse_ino_t ino = fs(req).child(parent, name);
    if (ino == 0)
        return (void)fuse_reply_err(req, ENOENT);
    replyEntry(req, ino);
}

void onGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*)
{
    if (refused(req, "getattr", false))
        return;
    if (!fs(req).find(ino))
        return (void)fuse_reply_err(req, ENOENT);
    const struct stat info = fs(req).attributes(ino);
    fuse_reply_attr(req, &info, 0);
}

void onSetattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int toSet, fuse_file_info*)
{
    if (refused(req, "setattr"))
        return;
    PowerCutFs& self = fs(req);
    Node* node = self.find(ino);
    if (!node)
        return (void)fuse_reply_err(req, ENOENT);
    if ((toSet & FUSE_SET_ATTR_MODE) && self.fat)
        return (void)fuse_reply_err(req, EPERM);
    if (toSet & FUSE_SET_ATTR_SIZE) {
        if (node->dir)
            return (void)fuse_reply_err(req, EISDIR);
        self.truncate(ino, attr->st_size);
    }
    std::optional<mode_t> mode;
    std::optional<timespec> mtime;
    if (toSet & FUSE_SET_ATTR_MODE)
        mode = attr->st_mode & 07777;
    if (toSet & FUSE_SET_ATTR_MTIME_NOW)
        mtime = now();
    else if (toSet & FUSE_SET_ATTR_MTIME)
        mtime = attr->st_mtim;
    if (mode || mtime)
        self.setAttributes(ino, mode, mtime);
    const struct stat info = self.attributes(ino);
    fuse_reply_attr(req, &info, 0);
}

// Refuses a new name where one is taken or its folder is missing.
bool nameRefused(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    const Node* folder = fs(req).find(parent);
    if (!folder || !folder->dir)
        return fuse_reply_err(req, ENOENT), true;
    if (std::strlen(name) > 255)
        return fuse_reply_err(req, ENAMETOOLONG), true;
    if (fs(req).child(parent, name) != 0)
        return fuse_reply_err(req, EEXIST), true;
    return false;
}

void onMknod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, dev_t)
{
    if (refused(req, std::string("mknod ") + name))
        return;
    if (!S_ISREG(mode))
        return (void)fuse_reply_err(req, EPERM);
    if (nameRefused(req, parent, name))
        return;
    replyEntry(req, fs(req).make(parent, name, false, mode));
}

void onMkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode)
{
    if (refused(req, std::string("mkdir ") + name) || nameRefused(req, parent, name))
        return;
    replyEntry(req, fs(req).make(parent, name, true, mode));
}

void onCreate(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, fuse_file_info* fi)
{
    if (refused(req, std::string("create ") + name) || nameRefused(req, parent, name))
        return;
    const fuse_ino_t ino = fs(req).make(parent, name, false, mode);
    fuse_entry_param entry{};
    entry.ino = ino;
    entry.generation = 1;
    entry.attr = fs(req).attributes(ino);
    fi->keep_cache = 0;
    fuse_reply_create(req, &entry, fi);
}

void removeName(fuse_req_t req, fuse_ino_t parent, const char* name, bool dir)
{
    if (refused(req, std::string(dir ? "rmdir " : "unlink ") + name))
        return;
    const fuse_ino_t ino = fs(req).child(parent, name);
    const Node* node = fs(req).find(ino);
    if (!node)
        return (void)fuse_reply_err(req, ENOENT);
    if (node->dir != dir)
        return (void)fuse_reply_err(req, dir ? ENOTDIR : EISDIR);
    if (dir && !node->entries.empty())
        return (void)fuse_reply_err(req, ENOTEMPTY);
    fs(req).changeNames({{parent, name, 0}});
    fuse_reply_err(req, 0);
}

void onUnlink(fuse_req_t req, fuse_ino_t parent, const char* name) { removeName(req, parent, name, false); }

void onRmdir(fuse_req_t req, fuse_ino_t parent, const char* name) { removeName(req, parent, name, true); }

void onRename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newParent, const char* newName,
              unsigned int flags)
{
    const std::string what = std::string("rename ") + name + " -> " + newName;
    if (refused(req, what))
        return;
    PowerCutFs& self = fs(req);
    // What the kernel answers for a FUSE file system that has no such flags.
    if ((self.fat && flags != 0) || (flags & ~RENAME_NOREPLACE))
        return (void)fuse_reply_err(req, EINVAL);
    const fuse_ino_t ino = self.child(parent, name);
    const Node* node = self.find(ino);
    if (!node)
        return (void)fuse_reply_err(req, ENOENT);
    if (!self.find(newParent) || std::strlen(newName) > 255)
        return (void)fuse_reply_err(req, ENOENT);
    const fuse_ino_t replaced = self.child(newParent, newName);
    if (replaced == ino)
        return (void)fuse_reply_err(req, 0);
    if (replaced != 0) {
        const Node* old = self.find(replaced);
        if (flags & RENAME_NOREPLACE)
            return (void)fuse_reply_err(req, EEXIST);
        if (old->dir != node->dir)
            return (void)fuse_reply_err(req, old->dir ? EISDIR : ENOTDIR);
        if (old->dir && !old->entries.empty())
            return (void)fuse_reply_err(req, ENOTEMPTY);
    }
    self.changeNames({{parent, name, 0}, {newParent, newName, ino}});
    fuse_reply_err(req, 0);
}

void onLink(fuse_req_t req, fuse_ino_t ino, fuse_ino_t newParent, const char* newName)
{
    if (refused(req, std::string("link ") + newName))
        return;
    if (fs(req).fat)
        return (void)fuse_reply_err(req, EPERM);
    const Node* node = fs(req).find(ino);
    if (!node || node->dir)
        return (void)fuse_reply_err(req, node ? EPERM : ENOENT);
    if (nameRefused(req, newParent, newName))
        return;
    fs(req).changeNames({{newParent, newName, ino}});
    replyEntry(req, ino);
}

void onOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi)
{
    if (refused(req, "open"))
        return;
    const Node* node = fs(req).find(ino);
    if (!node)
        return (void)fuse_reply_err(req, ENOENT);
    if (node->dir)
        return (void)fuse_reply_err(req, EISDIR);
    if (fi->flags & O_TRUNC)
        fs(req).truncate(ino, 0);
    fi->keep_cache = 0;
    fuse_reply_open(req, fi);
}

void onRead(fuse_req_t req, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info*)
{
    if (refused(req, "read"))
        return;
    const Node* node = fs(req).find(ino);
    if (!node)
        return (void)fuse_reply_err(req, ENOENT);
    if (size_t(offset) >= node->data.size())
        return (void)fuse_reply_buf(req, nullptr, 0);
    fuse_reply_buf(req, node->data.data() + offset, std::min(size, node->data.size() - size_t(offset)));
}

void onWrite(fuse_req_t req, fuse_ino_t ino, const char* bytes, size_t size, off_t offset, fuse_file_info*)
{
    if (refused(req, "write"))
        return;
    if (!fs(req).find(ino))
        return (void)fuse_reply_err(req, ENOENT);
    fs(req).write(ino, offset, bytes, size);
    fuse_reply_write(req, size);
}

void onFlush(fuse_req_t req, fuse_ino_t, fuse_file_info*)
{
    // A close is no flush to the disk.
    if (refused(req, "close", false))
        return;
    fuse_reply_err(req, 0);
}

void onRelease(fuse_req_t req, fuse_ino_t, fuse_file_info*) { fuse_reply_err(req, 0); }

void onFsync(fuse_req_t req, fuse_ino_t ino, int dataOnly, fuse_file_info*)
{
    if (refused(req, dataOnly ? "fdatasync" : "fsync"))
        return;
    fs(req).flushFile(ino, dataOnly != 0);
    fuse_reply_err(req, 0);
}

// A folder's names as they were when it was opened.
struct Listing {
    std::vector<std::pair<std::string, struct stat>> entries;
};

void onOpendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi)
{
    if (refused(req, "opendir", false))
        return;
    const Node* node = fs(req).find(ino);
    if (!node || !node->dir)
        return (void)fuse_reply_err(req, node ? ENOTDIR : ENOENT);
    auto* listing = new Listing;
    struct stat self {};
    self.st_ino = ino;
    self.st_mode = S_IFDIR;
    listing->entries = {{".", self}, {"..", self}};
    for (const auto& [name, child] : node->entries)
        listing->entries.emplace_back(name, fs(req).attributes(child));
    fi->fh = reinterpret_cast<uint64_t>(listing);
    fuse_reply_open(req, fi);
}

void onReaddir(fuse_req_t req, fuse_ino_t, size_t size, off_t offset, fuse_file_info* fi)
{
    if (refused(req, "readdir", false))
        return;
    const Listing& listing = *reinterpret_cast<Listing*>(fi->fh);
    std::vector<char> buffer(size);
    size_t used = 0;
    for (size_t at = size_t(offset); at < listing.entries.size(); ++at) {
        const auto& [name, info] = listing.entries[at];
        const size_t need =
            fuse_add_direntry(req, buffer.data() + used, size - used, name.c_str(), &info, off_t(at + 1));
        if (need > size - used)
            break;
        used += need;
    }
    fuse_reply_buf(req, buffer.data(), used);
}

void onReleasedir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi)
{
    delete reinterpret_cast<Listing*>(fi->fh);
    fuse_reply_err(req, 0);
}

void onFsyncdir(fuse_req_t req, fuse_ino_t ino, int, fuse_file_info*)
{
    if (refused(req, "fsync folder"))
        return;
    fs(req).flushFolder(ino);
    fuse_reply_err(req, 0);
}

void onStatfs(fuse_req_t req, fuse_ino_t)
{
    if (refused(req, "statfs", false))
        return;
    struct statvfs info {};
    info.f_bsize = info.f_frsize = 4096;
    info.f_blocks = 1 << 20;
    info.f_bfree = info.f_bavail = 1 << 19;
    info.f_files = info.f_ffree = info.f_favail = 1 << 20;
    info.f_namemax = 255;
    fuse_reply_statfs(req, &info);
}

void onSymlink(fuse_req_t req, const char*, fuse_ino_t, const char*) { fuse_reply_err(req, EPERM); }

long option(const std::string& argument, const std::string& name, long fallback)
{
    return argument.rfind(name, 0) == 0 ? std::stol(argument.substr(name.size())) : fallback;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s BACKING MOUNTPOINT IMAGE [--cut-at=N] [--prefix-seed=S] [--fat]\n", argv[0]);
        return 2;
    }
    PowerCutFs state;
    for (int i = 4; i < argc; ++i) {
        const std::string argument = argv[i];
        state.cutAt = option(argument, "--cut-at=", state.cutAt);
        state.prefixSeed = unsigned(option(argument, "--prefix-seed=", state.prefixSeed));
        state.fat = state.fat || argument == "--fat";
    }
    state.load(argv[1]);

    fuse_lowlevel_ops ops{};
    ops.init = onInit;
    ops.lookup = onLookup;
    ops.getattr = onGetattr;
    ops.setattr = onSetattr;
    ops.mknod = onMknod;
    ops.mkdir = onMkdir;
    ops.unlink = onUnlink;
    ops.rmdir = onRmdir;
    ops.symlink = onSymlink;
    ops.rename = onRename;
    ops.link = onLink;
    ops.open = onOpen;
    ops.read = onRead;
    ops.write = onWrite;
    ops.flush = onFlush;
    ops.release = onRelease;
    ops.fsync = onFsync;
    ops.opendir = onOpendir;
    ops.readdir = onReaddir;
    ops.releasedir = onReleasedir;
    ops.fsyncdir = onFsyncdir;
    ops.statfs = onStatfs;
    ops.create = onCreate;
    // No lock calls: the kernel keeps the locks itself, as for most FUSE file systems.

    char* fuseArgv[] = {argv[0], const_cast<char*>("-o"),
                        const_cast<char*>("default_permissions,fsname=powercut,subtype=powercut")};
    fuse_args args = FUSE_ARGS_INIT(3, fuseArgv);
    fuse_session* session = fuse_session_new(&args, &ops, sizeof ops, &state);
    if (!session || fuse_set_signal_handlers(session) != 0 || fuse_session_mount(session, argv[2]) != 0) {
        std::fprintf(stderr, "cannot mount %s\n", argv[2]);
        return 1;
    }
    std::printf("MOUNTED\n");
    std::fflush(stdout);
    fuse_session_loop(session);
    fuse_session_unmount(session);
    fuse_remove_signal_handlers(session);
    fuse_session_destroy(session);
    state.writeImage(argv[3]);
    return 0;
}
