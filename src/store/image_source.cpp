#include "store/image_source.h"

#include "store/recording_store.h"

#include <strings.h>
#include <tsk/libtsk.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "store/frame_header.h"

namespace korvex {

namespace {

// The Sleuth Kit reads the disk through this: its image record first (the
// library treats a pointer to it as the record), then the disk it reads.
struct ExternalImage {
  TSK_IMG_INFO info;
  DiskImage* disk;
  // Reads of the disk that failed: the library fills some of them with
  // zeros and carries on, so this is how a file's read learns of them.
  std::atomic<std::uint64_t> failedReads{0};
};

ssize_t readExternal(TSK_IMG_INFO* info, TSK_OFF_T offset, char* into, std::size_t length) {
  DiskImage* disk = reinterpret_cast<ExternalImage*>(info)->disk;
  if (offset < 0) {
    tsk_error_reset();
    tsk_error_set_errno(TSK_ERR_IMG_READ);
    tsk_error_set_errstr("negative offset %lld", static_cast<long long>(offset));
    return -1;
  }
  std::size_t done = 0;
  while (done < length) {
    const std::int64_t got = disk->readAt(static_cast<std::uint64_t>(offset) + done, into + done, length - done);
    if (got < 0) {
      const int reason = errno;
      ++reinterpret_cast<ExternalImage*>(info)->failedReads;
      tsk_error_reset();
      tsk_error_set_errno(TSK_ERR_IMG_READ);
      tsk_error_set_errstr("cannot read the disk at byte %llu: %s",
                           static_cast<unsigned long long>(offset) + done, std::strerror(reason));
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

// The memory is the owner's: nothing to free here.
void closeExternal(TSK_IMG_INFO*) {}
void statExternal(TSK_IMG_INFO*, FILE*) {}

struct ImageCloser {
  void operator()(ExternalImage* image) const {
    // Closes the library's lock; the record itself is ours.
    tsk_img_close(&image->info);
    std::default_delete<ExternalImage>()(image);
  }
};
using TskImage = std::unique_ptr<ExternalImage, ImageCloser>;

struct VsCloser {
  void operator()(TSK_VS_INFO* vs) const { tsk_vs_close(vs); }
};
struct FsCloser {
  void operator()(TSK_FS_INFO* fs) const { tsk_fs_close(fs); }
};
struct DirCloser {
  void operator()(TSK_FS_DIR* dir) const { tsk_fs_dir_close(dir); }
};
struct FileCloser {
  void operator()(TSK_FS_FILE* file) const { tsk_fs_file_close(file); }
};
using TskVs = std::unique_ptr<TSK_VS_INFO, VsCloser>;
using TskFs = std::unique_ptr<TSK_FS_INFO, FsCloser>;
using TskDir = std::unique_ptr<TSK_FS_DIR, DirCloser>;
using TskFile = std::unique_ptr<TSK_FS_FILE, FileCloser>;

// The library's last reason, on one line. It may quote names from the disk.
std::string tskReason() {
  const char* text = tsk_error_get();
  std::string reason = text != nullptr && *text != '\0' ? text : "unknown error";
  std::replace(reason.begin(), reason.end(), '\n', ' ');
  while (!reason.empty() && reason.back() == ' ') reason.pop_back();
  tsk_error_reset();
  return printableText(reason);
}

// The disk as the library sees it, `bytes` long (the disk's own size, or
// more for the view its partition table is read through).
TskImage wrapDisk(DiskImage& disk, std::string& error, std::uint64_t bytes) {
  // The library expects a zeroed record, but its 2 MiB read cache is read
  // only where cache_len says an entry holds bytes: left untouched, those
  // pages are never faulted in unless used.
  TskImage image(new ExternalImage);
  auto* record = reinterpret_cast<unsigned char*>(&image->info);
  const std::size_t cacheStart = offsetof(TSK_IMG_INFO, cache);
  const std::size_t cacheEnd = cacheStart + sizeof image->info.cache;
  std::memset(record, 0, cacheStart);
  std::memset(record + cacheEnd, 0, sizeof image->info - cacheEnd);
  image->disk = &disk;
  if (tsk_img_open_external(image.get(), static_cast<TSK_OFF_T>(bytes), disk.sectorSize(), readExternal,
                            closeExternal, statExternal) == nullptr) {
    error = tskReason();
    std::default_delete<ExternalImage>()(image.release());
    return nullptr;
  }
  return image;
}

std::uint64_t timesOrMost(std::uint64_t count, std::uint64_t unit) {
  return unit != 0 && count > UINT64_MAX / unit ? UINT64_MAX : count * unit;
}

bool caseInsensitive(TSK_FS_TYPE_ENUM type) {
  return TSK_FS_TYPE_ISFAT(type) || TSK_FS_TYPE_ISNTFS(type) || TSK_FS_TYPE_ISHFS(type);
}

// One name in a folder, as the library read it.
struct Entry {
  std::string name;
  TSK_INUM_T address = 0;
  TSK_FS_NAME_TYPE_ENUM type = TSK_FS_NAME_TYPE_UNDEF;
};

// The allocated names of a folder, without "." and "..". False with the
// library's reason when the folder cannot be read.
bool listFolder(TSK_FS_INFO* fs, TSK_INUM_T address, std::vector<Entry>& entries, std::string& error) {
  entries.clear();
  TskDir dir(tsk_fs_dir_open_meta(fs, address));
  if (!dir) {
    error = tskReason();
    return false;
  }
  const std::size_t count = tsk_fs_dir_getsize(dir.get());
  for (std::size_t i = 0; i < count; ++i) {
    const TSK_FS_NAME* name = tsk_fs_dir_get_name(dir.get(), i);
    if (name == nullptr || name->name == nullptr || (name->flags & TSK_FS_NAME_FLAG_ALLOC) == 0) continue;
    if (std::strcmp(name->name, ".") == 0 || std::strcmp(name->name, "..") == 0) continue;
    entries.push_back({name->name, name->meta_addr, name->type});
  }
  tsk_error_reset();
  return true;
}

int countDirEntries(const std::vector<Entry>& root, bool ignoreCase) {
  int count = 0;
  for (const Entry& entry : root) {
    if ((ignoreCase ? strncasecmp(entry.name.c_str(), "dir", 3) : std::strncmp(entry.name.c_str(), "dir", 3)) == 0)
      ++count;
  }
  return count;
}

const Entry* findEntry(const std::vector<Entry>& entries, const char* name, bool ignoreCase) {
  for (const Entry& entry : entries) {
    if ((ignoreCase ? strcasecmp(entry.name.c_str(), name) : std::strcmp(entry.name.c_str(), name)) == 0)
      return &entry;
  }
  return nullptr;
}

std::uint32_t readLe16(const std::uint8_t* bytes) { return bytes[0] | static_cast<std::uint32_t>(bytes[1]) << 8; }

// A name the folder holds but the library's listing passes over, and why.
struct DamagedEntry {
  std::string name;
  std::string reason;
};

// The "NAME.EXT" of a FAT short-name record, spaces trimmed.
std::string fatShortName(const std::uint8_t* record) {
  std::string name(reinterpret_cast<const char*>(record), 8), extension(reinterpret_cast<const char*>(record) + 8, 3);
  if (record[0] == 0x05) name[0] = static_cast<char>(0xe5);  // a name starting with 0xe5 is stored so
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!extension.empty() && extension.back() == ' ') extension.pop_back();
  return extension.empty() ? name : name + "." + extension;
}

// What makes the library pass over a FAT record, as far as its fields show.
std::string fatRecordProblem(const std::uint8_t* record, std::uint64_t fsBytes, std::uint64_t clusterBytes) {
  const unsigned attributes = record[11];
  const std::uint32_t cluster = readLe16(record + 20) << 16 | readLe16(record + 26);
  const std::uint32_t size = readLe32(record + 28);
  char text[160];
  int length;
  if ((attributes & 0x08) != 0) {
    length = std::snprintf(text, sizeof text, "its folder record is marked as a volume label (attributes 0x%02x)",
                           attributes);
  } else if (size > fsBytes) {
    length = std::snprintf(text, sizeof text, "its folder record gives it %u bytes, more than the file system holds",
                           size);
  } else if (cluster == 0 && size > 0) {
    length = std::snprintf(text, sizeof text, "its folder record gives it %u bytes but no first cluster", size);
  } else if (cluster == 1 || (clusterBytes > 0 && cluster > fsBytes / clusterBytes + 1)) {
    length = std::snprintf(text, sizeof text, "its folder record gives it a first cluster (%u) outside the file system",
                           cluster);
  } else {
    length = std::snprintf(text, sizeof text,
                           "its folder record is damaged (attributes 0x%02x, first cluster %u, %u bytes)", attributes,
                           cluster, size);
  }
  return length > 0 && static_cast<std::size_t>(length) < sizeof text ? text : "its folder record is damaged";
}

// FAT keeps a folder as 32-byte records, and the library's listing passes
// over a record whose fields are impossible: a damaged recording file would
// look missing, the store's normal end. The in-use short-name records of
// folder `address` that `listed` lacks, each with what is wrong with it.
std::vector<DamagedEntry> damagedFatEntries(TSK_FS_INFO* fs, TSK_INUM_T address, const std::vector<Entry>& listed) {
  std::vector<DamagedEntry> damaged;
  TskFile folder(tsk_fs_file_open_meta(fs, nullptr, address));
  std::uint8_t boot[512];
  if (!folder || folder->meta == nullptr || folder->meta->size <= 0 ||
      tsk_fs_read(fs, 0, reinterpret_cast<char*>(boot), sizeof boot) != static_cast<ssize_t>(sizeof boot)) {
    tsk_error_reset();
    return damaged;
  }
  const std::uint64_t clusterBytes = readLe16(boot + 11) * std::uint64_t{boot[13]};
  const std::uint64_t fsBytes = timesOrMost(fs->block_count, fs->block_size);
  // A FAT folder holds at most 65536 records.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<TSK_OFF_T>(folder->meta->size, 65536 * 32)));
  const ssize_t got = tsk_fs_file_read(folder.get(), 0, reinterpret_cast<char*>(bytes.data()), bytes.size(),
                                       TSK_FS_FILE_READ_FLAG_NONE);
  tsk_error_reset();
  for (std::size_t at = 0; got > 0 && at + 32 <= static_cast<std::size_t>(got); at += 32) {
    const std::uint8_t* record = bytes.data() + at;
    if (record[0] == 0x00) break;                           // no record follows
    if (record[0] == 0xe5 || record[11] == 0x0f) continue;  // deleted, or a piece of a long name
    const std::string name = fatShortName(record);
    if (name.empty() || name[0] == '.' || findEntry(listed, name.c_str(), true) != nullptr) continue;
    damaged.push_back({name, fatRecordProblem(record, fsBytes, clusterBytes)});
  }
  return damaged;
}

// Damaged records of the root count as folders: a folder the recorder
// wrote is not the store's end because its record is damaged.
int countDamagedFolders(TSK_FS_INFO* fs, const std::vector<Entry>& root, std::vector<DamagedEntry>& damaged) {
  if (!TSK_FS_TYPE_ISFAT(fs->ftype)) return 0;
  damaged = damagedFatEntries(fs, fs->root_inum, root);
  return static_cast<int>(std::count_if(damaged.begin(), damaged.end(), [](const DamagedEntry& entry) {
    return strncasecmp(entry.name.c_str(), "dir", 3) == 0;
  }));
}

const DamagedEntry* findDamaged(const std::vector<DamagedEntry>& entries, const char* name) {
  for (const DamagedEntry& entry : entries) {
    if (strcasecmp(entry.name.c_str(), name) == 0) return &entry;
  }
  return nullptr;
}

std::string fileSystemName(const TSK_FS_INFO* fs) {
  const char* name = tsk_fs_type_toname(fs->ftype);
  return name != nullptr ? name : "unknown";
}

// A partition or the bare file system that might hold the store.
struct Candidate {
  PartitionInfo info;
};

// What the disk holds: every allocated entry of its partition table, or a
// bare file system.
struct Layout {
  std::vector<Candidate> candidates;
  bool wholeDisk = false;
};

// Always on the disk itself, never through the view a table was read
// through: the file system must see where the disk really ends.
TskFs openFileSystem(TSK_IMG_INFO* image, const Candidate& candidate) {
  return TskFs(tsk_fs_open_img(image, static_cast<TSK_OFF_T>(candidate.info.startBytes), TSK_FS_TYPE_DETECT));
}

void examine(TSK_IMG_INFO* image, Candidate& candidate) {
  if (!candidate.info.problem.empty()) return;
  TskFs fs = openFileSystem(image, candidate);
  if (!fs) {
    tsk_error_reset();
    return;
  }
  candidate.info.fileSystem = fileSystemName(fs.get());
  std::vector<Entry> root;
  std::string ignored;
  if (listFolder(fs.get(), fs->root_inum, root, ignored)) {
    std::vector<DamagedEntry> damaged;
    candidate.info.folders =
        countDirEntries(root, caseInsensitive(fs->ftype)) + countDamagedFolders(fs.get(), root, damaged);
    candidate.info.holdsStore = candidate.info.folders > 0;
  }
}

// The allocated entries of a table, numbered 1, 2, ... in the library's
// order (by where they start). An entry that starts past the end of the
// disk is kept with its problem, and its neighbours keep their numbers.
std::vector<Candidate> readTable(TSK_IMG_INFO* image, const TSK_VS_INFO* vs, std::uint64_t diskBytes) {
  std::vector<Candidate> candidates;
  const std::uint64_t blockSize = vs->block_size;
  int index = 0;
  for (TSK_PNUM_T i = 0; i < vs->part_count; ++i) {
    const TSK_VS_PART_INFO* part = tsk_vs_part_get(vs, i);
    if (part == nullptr || (part->flags & TSK_VS_PART_FLAG_ALLOC) == 0) continue;
    Candidate candidate;
    candidate.info.index = ++index;
    candidate.info.startBytes = timesOrMost(part->start, blockSize);
    candidate.info.lengthBytes = timesOrMost(part->len, blockSize);
    candidate.info.description = part->desc != nullptr ? part->desc : "";
    if (candidate.info.startBytes >= diskBytes) {
      candidate.info.problem = "starts at byte " + std::to_string(candidate.info.startBytes) +
                               ", past the end of the disk (" + std::to_string(diskBytes) + " bytes)";
    }
    examine(image, candidate);
    candidates.push_back(std::move(candidate));
  }
  tsk_error_reset();
  return candidates;
}

bool anyFileSystem(const std::vector<Candidate>& candidates) {
  return std::any_of(candidates.begin(), candidates.end(),
                     [](const Candidate& c) { return !c.info.fileSystem.empty(); });
}

// Long enough for any entry of any table: 2^53 sectors of 512 bytes, and
// far from overflowing the library's signed offsets.
constexpr std::uint64_t TABLE_VIEW_BYTES = std::uint64_t{1} << 62;

bool readLayout(TSK_IMG_INFO* image, DiskImage& disk, Layout& layout, std::string& error) {
  std::string tableReason;
  {
    TskVs vs(tsk_vs_open(image, 0, TSK_VS_TYPE_DETECT));
    if (vs) layout.candidates = readTable(image, vs.get(), disk.size());
    else tableReason = tskReason();
  }
  if (anyFileSystem(layout.candidates)) return true;
  // No table, or one whose partitions hold nothing readable: a file system
  // may start at the first byte (a boot sector looks like a table too).
  Candidate whole;
  whole.info.index = 1;
  whole.info.lengthBytes = static_cast<std::uint64_t>(image->size);
  whole.info.description = "whole disk, no partition table";
  examine(image, whole);
  if (!whole.info.fileSystem.empty()) {
    layout.candidates.clear();
    layout.candidates.push_back(std::move(whole));
    layout.wholeDisk = true;
    return true;
  }
  // The library refuses a whole table when one of its first entries starts
  // past the end of the disk (a cut-off image), and then may take a GPT
  // disk's protective MBR for its table. Read through a view as long as any
  // disk a table describes, the table keeps its good entries; the bad ones
  // are named. Only when the disk shows nothing better, so that the
  // library's guard against a boot sector read as a table still holds.
  std::string ignored;
  if (TskImage view = wrapDisk(disk, ignored, std::max(TABLE_VIEW_BYTES, disk.size()))) {
    // GPT before MBR, each asked for by name: the library's own detection,
    // finding both on a GPT disk (its protective MBR), keeps one and leaks
    // the other's entries.
    TskVs vs(tsk_vs_open(&view->info, 0, TSK_VS_TYPE_GPT));
    if (!vs) vs.reset(tsk_vs_open(&view->info, 0, TSK_VS_TYPE_DOS));
    std::vector<Candidate> candidates;
    if (vs) candidates = readTable(image, vs.get(), disk.size());
    tsk_error_reset();
    const bool anyBad = std::any_of(candidates.begin(), candidates.end(),
                                    [](const Candidate& c) { return !c.info.problem.empty(); });
    if (anyBad) {
      layout.candidates = std::move(candidates);
      return true;
    }
  }
  if (!layout.candidates.empty()) return true;
  error = "neither a partition table nor a file system was recognised (" +
          (tableReason.empty() ? std::string("the partition table lists no partition") : tableReason) + ")";
  return false;
}

// Where one stretch of a recording file lies on the disk.
struct Extent {
  std::uint64_t fileOffset = 0;
  std::uint64_t length = 0;
  std::uint64_t diskOffset = 0;
  bool zeros = false;  // a sparse run: reads as zeros, nothing stored
};

}  // namespace

struct ImageSource::Volume {
  // The library's records are used by one thread at a time.
  mutable std::mutex mutex;
  std::unique_ptr<DiskImage> disk;
  TskImage image;
  TskFs fs;
  PartitionInfo partition;
  bool wholeDisk = false;
  bool ignoreCase = false;
  ImageOptions options;
  std::vector<Entry> root;
  // The folder last looked into, so that its 128 files do not read it anew.
  int listedFolder = -1;
  bool listedFolderExists = false;
  TSK_INUM_T listedFolderAddress = 0;
  std::string listedFolderError;
  std::vector<Entry> listed;
  int folderCount = 0;
  // FAT records the listings pass over: the root's, and the listed
  // folder's, read when a name is not found in it.
  std::vector<DamagedEntry> rootDamaged;
  bool listedDamagedRead = false;
  std::vector<DamagedEntry> listedDamaged;

  ~Volume() {
    fs.reset();
    image.reset();
  }
};

namespace {

class ImageFile final : public SourceFile {
 public:
  ImageFile(std::shared_ptr<ImageSource::Volume> volume, TskFile file, std::uint64_t size,
            std::vector<Extent> extents, bool direct, std::uint64_t cutOffAt, std::vector<Extent> stored)
      : volume_(std::move(volume)), file_(std::move(file)), size_(size), extents_(std::move(extents)),
        direct_(direct), cutOffAt_(cutOffAt), stored_(std::move(stored)) {}
  ~ImageFile() override {
    const std::lock_guard lock(volume_->mutex);
    file_.reset();
  }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  std::uint64_t size() const override { return size_; }
  std::uint32_t blockSize() const override { return std::max(512u, volume_->disk->failureUnit()); }

  std::int64_t readAt(std::uint64_t offset, const iovec* parts, int count) override {
    std::uint64_t done = 0;
    for (int i = 0; i < count; ++i) {
      auto* into = static_cast<char*>(parts[i].iov_base);
      std::size_t length = parts[i].iov_len;
      while (length > 0) {
        const std::int64_t got = direct_ ? readDirect(offset + done, into, length) : readThrough(offset + done, into, length);
        if (got < 0) return done > 0 ? static_cast<std::int64_t>(done) : -1;
        if (got == 0) return static_cast<std::int64_t>(done);
        done += static_cast<std::uint64_t>(got);
        into += got;
        length -= static_cast<std::size_t>(got);
      }
    }
    return static_cast<std::int64_t>(done);
  }

  std::uint64_t dataFrom(std::uint64_t offset) override {
    // The first stretch that ends past `offset`.
    const auto next = std::upper_bound(stored_.begin(), stored_.end(), offset, [](std::uint64_t at, const Extent& e) {
      return at < e.fileOffset + e.length;
    });
    return next == stored_.end() ? size_ : std::min(size_, std::max(offset, next->fileOffset));
  }

 private:
  std::int64_t readDirect(std::uint64_t offset, char* into, std::size_t length) {
    if (offset >= size_) return 0;
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
    // The extent that holds `offset`: the last one starting at or before it.
    auto next = std::upper_bound(extents_.begin(), extents_.end(), offset,
                                 [](std::uint64_t at, const Extent& extent) { return at < extent.fileOffset; });
    if (next == extents_.begin()) {
      errno = EIO;
      return -1;
    }
    const Extent& extent = *(next - 1);
    const std::uint64_t within = offset - extent.fileOffset;
    if (within >= extent.length) {
      errno = EIO;
      return -1;
    }
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, extent.length - within));
    if (extent.zeros) {
      std::memset(into, 0, length);
      return static_cast<std::int64_t>(length);
    }
    const std::int64_t got = volume_->disk->readAt(extent.diskOffset + within, into, length);
    if (got == 0) {
      // The file's blocks lie past the end of the disk: a cut-off image.
      errno = EIO;
      return -1;
    }
    return got;
  }

  std::int64_t readThrough(std::uint64_t offset, char* into, std::size_t length) {
    if (offset >= size_) return 0;
    if (offset >= cutOffAt_) {
      // The library reads zeros where a cut-off image lacks the blocks.
      errno = EIO;
      return -1;
    }
    length = static_cast<std::size_t>(std::min<std::uint64_t>({length, size_ - offset, cutOffAt_ - offset}));
    const std::lock_guard lock(volume_->mutex);
    const std::uint64_t failedBefore = volume_->image->failedReads;
    const ssize_t got =
        tsk_fs_file_read(file_.get(), static_cast<TSK_OFF_T>(offset), into, length, TSK_FS_FILE_READ_FLAG_NONE);
    // A disk read that failed on the way fails this one, even where the
    // library went on with zeros (or read the bytes again in a smaller piece).
    if (got <= 0 || volume_->image->failedReads != failedBefore) {
      tsk_error_reset();
      errno = EIO;
      return -1;
    }
    return got;
  }

  std::shared_ptr<ImageSource::Volume> volume_;
  TskFile file_;
  std::uint64_t size_;
  std::vector<Extent> extents_;
  bool direct_;
  std::uint64_t cutOffAt_;  // from here on the file's blocks lie past the end of the disk
  std::vector<Extent> stored_;  // where the file system stores its bytes, in file order
};

// Where the file system stores the file's bytes: its runs of blocks less
// the sparse ones and those it has no blocks for (a file whose size claims
// far more than it holds). Resident, compressed or encrypted data may lie
// anywhere: all of the file then counts.
std::vector<Extent> storedStretches(const TSK_FS_INFO* fs, const TSK_FS_ATTR* attr, std::uint64_t size) {
  if (attr == nullptr || (attr->flags & TSK_FS_ATTR_NONRES) == 0 ||
      (attr->flags & (TSK_FS_ATTR_COMP | TSK_FS_ATTR_ENC)) != 0 || fs->block_size == 0)
    return {Extent{0, size, 0, false}};
  const std::uint64_t blockSize = fs->block_size;
  std::vector<Extent> stored;
  for (const TSK_FS_ATTR_RUN* run = attr->nrd.run; run != nullptr; run = run->next) {
    if (run->len == 0 || (run->flags & (TSK_FS_ATTR_RUN_FLAG_SPARSE | TSK_FS_ATTR_RUN_FLAG_FILLER)) != 0) continue;
    // Past the file's size nothing counts, and no product overflows.
    if (run->offset >= size / blockSize + 1) continue;
    const std::uint64_t from = run->offset * blockSize;
    const std::uint64_t length = std::min<std::uint64_t>(run->len, (size - from) / blockSize + 1) * blockSize;
    stored.push_back({from, length, 0, false});
  }
  std::sort(stored.begin(), stored.end(), [](const Extent& a, const Extent& b) { return a.fileOffset < b.fileOffset; });
  return stored;
}

// Where a file's data first lies past the last block the disk holds (a
// cut-off image), or UINT64_MAX when all of it is there.
std::uint64_t cutOffAt(const TSK_FS_INFO* fs, const TSK_FS_ATTR* attr) {
  if (fs->last_block_act >= fs->last_block || attr == nullptr || (attr->flags & TSK_FS_ATTR_NONRES) == 0)
    return UINT64_MAX;
  const std::uint64_t blockSize = fs->block_size;
  for (const TSK_FS_ATTR_RUN* run = attr->nrd.run; run != nullptr; run = run->next) {
    if ((run->flags & (TSK_FS_ATTR_RUN_FLAG_SPARSE | TSK_FS_ATTR_RUN_FLAG_FILLER)) != 0 || run->len == 0) continue;
    if (run->addr + run->len - 1 > fs->last_block_act) {
      const std::uint64_t inside = run->addr > fs->last_block_act ? 0 : fs->last_block_act - run->addr + 1;
      return (run->offset + inside) * blockSize;
    }
  }
  return UINT64_MAX;
}

// The file's stretches on the disk, when its data attribute is a plain list
// of block runs that covers the whole file and stays on the disk; false
// when anything else (resident, compressed or encrypted data, a run list
// that does not add up) asks for the library's own reading.
bool plainExtents(const TSK_FS_INFO* fs, const TSK_FS_ATTR* attr, std::uint64_t size, std::uint64_t diskSize,
                  std::vector<Extent>& extents) {
  extents.clear();
  if (attr == nullptr || (attr->flags & TSK_FS_ATTR_NONRES) == 0 ||
      (attr->flags & (TSK_FS_ATTR_COMP | TSK_FS_ATTR_ENC)) != 0)
    return false;
  if (attr->nrd.skiplen != 0 || attr->nrd.initsize < 0 || static_cast<std::uint64_t>(attr->nrd.initsize) < size)
    return false;
  const std::uint64_t blockSize = fs->block_size;
  if (blockSize == 0 || fs->offset < 0) return false;
  const auto base = static_cast<std::uint64_t>(fs->offset);
  std::uint64_t covered = 0;
  for (const TSK_FS_ATTR_RUN* run = attr->nrd.run; run != nullptr && covered < size; run = run->next) {
    if (run->len == 0) continue;
    if ((run->flags & TSK_FS_ATTR_RUN_FLAG_ENCRYPTED) != 0) return false;
    // Runs follow each other without gaps, and every number stays far from
    // overflowing: a damaged table gives up here rather than reading wrong.
    if (run->len > diskSize / blockSize || run->offset > diskSize / blockSize) return false;
    if (run->offset * blockSize != covered) return false;
    Extent extent;
    extent.fileOffset = covered;
    extent.length = run->len * blockSize;
    // The library reads zeros for a hole and for a stretch whose blocks it
    // has no record of (ext4 lists the holes of a file so); so do we.
    if ((run->flags & (TSK_FS_ATTR_RUN_FLAG_SPARSE | TSK_FS_ATTR_RUN_FLAG_FILLER)) != 0) {
      extent.zeros = true;
    } else {
      if (run->addr > diskSize / blockSize) return false;
      extent.diskOffset = base + run->addr * blockSize;
      if (extent.diskOffset > diskSize || extent.length > diskSize - extent.diskOffset) return false;
    }
    covered += extent.length;
    extents.push_back(extent);
  }
  return covered >= size;
}

Failure failure(int errorNumber, std::string reason) {
  Failure result;
  result.code = FailureCode::NotOpened;
  result.errorNumber = errorNumber;
  result.reason = std::move(reason);
  return result;
}

Failure missingFile() {
  Failure result;
  result.code = FailureCode::Missing;
  result.errorNumber = ENOENT;
  result.reason = std::strerror(ENOENT);
  return result;
}

// Why a name that is not a regular file cannot be a recording file, in
// FolderSource's words where they apply.
Failure notRegular(bool directory, bool link) {
  if (directory) return failure(EISDIR, "a folder, not a recording file");
  if (link) return failure(ELOOP, "a symbolic link inside the disk image (not followed)");
  return failure(EINVAL, "not a regular file");
}

}  // namespace

ImageSource::ImageSource(std::shared_ptr<Volume> volume) : volume_(std::move(volume)) {}

ImageSource::~ImageSource() = default;

OpenedImageSource ImageSource::open(std::unique_ptr<DiskImage> disk, int partition, ImageOptions options) {
  OpenedImageSource opened;
  Failure& failure = opened.failure;
  const auto refuse = [&](FailureCode code, std::string reason) {
    failure.code = code;
    failure.reason = std::move(reason);
    return std::move(opened);
  };
  if (!disk) return refuse(FailureCode::DiskUnreadable, "no disk");
  const std::string name = disk->info().path;
  failure.path = name;
  auto volume = std::make_shared<Volume>();
  volume->options = options;
  volume->disk = std::move(disk);
  std::string reason;
  volume->image = wrapDisk(*volume->disk, reason, volume->disk->size());
  if (!volume->image) return refuse(FailureCode::DiskUnreadable, name + ": " + reason);
  Layout layout;
  if (!readLayout(&volume->image->info, *volume->disk, layout, reason))
    return refuse(FailureCode::DiskUnreadable, name + ": " + reason);
  bool anyFileSystem = false;
  for (const Candidate& candidate : layout.candidates)
    anyFileSystem = anyFileSystem || !candidate.info.fileSystem.empty();
  // A disk whose file systems can be read and hold no store has no store;
  // one where none can be read may hold one where it cannot be read.
  const FailureCode noStore = anyFileSystem ? FailureCode::NoStore : FailureCode::DiskUnreadable;
  const Candidate* chosen = nullptr;
  if (partition > 0) {
    for (const Candidate& candidate : layout.candidates) {
      if (candidate.info.index == partition) chosen = &candidate;
    }
    if (chosen == nullptr) {
      return refuse(layout.candidates.empty() ? FailureCode::DiskUnreadable : FailureCode::NoSuchPartition,
                    name + " has no partition " + std::to_string(partition) + " (it has " +
                        std::to_string(layout.candidates.size()) + ")");
    }
    // A bad entry of the table lies where the disk cannot be read.
    if (!chosen->info.problem.empty()) {
      return refuse(FailureCode::DiskUnreadable, "partition " + std::to_string(partition) + " of " + name +
                                                     " is a bad entry of its partition table: it " +
                                                     chosen->info.problem);
    }
    if (chosen->info.fileSystem.empty()) {
      return refuse(noStore, "partition " + std::to_string(partition) + " of " + name +
                                 " holds no file system that can be read");
    }
    if (!chosen->info.holdsStore) {
      return refuse(FailureCode::NoStore, "partition " + std::to_string(partition) + " of " + name + " (" +
                                              chosen->info.fileSystem +
                                              ") holds no recorder folders (dir...) at its root");
    }
  } else {
    for (const Candidate& candidate : layout.candidates) {
      if (candidate.info.holdsStore) {
        chosen = &candidate;
        break;
      }
    }
    if (chosen == nullptr) {
      std::string text = name + " holds no recorder store: no " + (layout.wholeDisk ? "file system" : "partition") +
                         " has recorder folders (dir...) at its root";
      for (const Candidate& candidate : layout.candidates) {
        text += std::string(candidate.info.index == 1 ? " (" : ", ") + "partition " +
                std::to_string(candidate.info.index) + ": " +
                (!candidate.info.problem.empty()       ? "a bad entry that " + candidate.info.problem
                 : candidate.info.fileSystem.empty() ? "no file system"
                                                      : candidate.info.fileSystem);
      }
      if (!layout.candidates.empty()) text += ")";
      return refuse(noStore, std::move(text));
    }
  }
  volume->fs = openFileSystem(&volume->image->info, *chosen);
  if (!volume->fs || !listFolder(volume->fs.get(), volume->fs->root_inum, volume->root, reason)) {
    // Its file system was recognised on the disk's first reading.
    return refuse(FailureCode::NoStore, name + ": the file system of partition " +
                                            std::to_string(chosen->info.index) + " cannot be read again: " +
                                            (volume->fs ? reason : tskReason()));
  }
  volume->partition = chosen->info;
  volume->wholeDisk = layout.wholeDisk;
  volume->ignoreCase = caseInsensitive(volume->fs->ftype);
  volume->folderCount = countDirEntries(volume->root, volume->ignoreCase) +
                        countDamagedFolders(volume->fs.get(), volume->root, volume->rootDamaged);
  opened.source.reset(new ImageSource(std::move(volume)));
  return opened;
}

int ImageSource::countFolders() const { return volume_->folderCount; }

FolderListing ImageSource::listFolders() const {
  FolderListing listing;
  listing.count = countFolders();
  for (const Entry& entry : volume_->root) {
    if (const auto number = storeFolderNumber(entry.name.c_str(), volume_->ignoreCase))
      listing.folders.push_back(*number);
  }
  std::sort(listing.folders.begin(), listing.folders.end());
  // "DIR00001" and "dir00001" are one folder where case is ignored.
  listing.folders.erase(std::unique(listing.folders.begin(), listing.folders.end()), listing.folders.end());
  return listing;
}

OpenedFile ImageSource::openFile(int folder, int file, ReadPattern) const {
  OpenedFile opened;
  Volume& v = *volume_;
  const std::string folderText = storeFolderName(folder);
  const std::string fileText = storeFileName(file);
  const char* folderName = folderText.c_str();
  const char* fileName = fileText.c_str();
  if (folderText.empty() || fileText.empty()) {
    opened.failure = missingFile();
    return opened;
  }

  const std::lock_guard lock(v.mutex);
  if (v.listedFolder != folder) {
    v.listedFolder = folder;
    v.listedFolderExists = false;
    v.listedFolderError.clear();
    v.listed.clear();
    v.listedDamagedRead = false;
    v.listedDamaged.clear();
    const Entry* entry = findEntry(v.root, folderName, v.ignoreCase);
    // Not there, or a plain file of that name: as open() says ENOTDIR, the
    // file is missing.
    if (entry == nullptr) {
      if (const DamagedEntry* damaged = findDamaged(v.rootDamaged, folderName)) {
        v.listedFolderError = "the folder " + std::string(folderName) + " exists but cannot be read: " + damaged->reason;
      }
    } else {
      if (entry->type == TSK_FS_NAME_TYPE_LNK) {
        v.listedFolderError = std::string(folderName) + " is a symbolic link inside the disk image (not followed)";
      } else if (TSK_FS_IS_DIR_NAME(entry->type) || entry->type == TSK_FS_NAME_TYPE_UNDEF) {
        std::string reason;
        if (listFolder(v.fs.get(), entry->address, v.listed, reason)) {
          v.listedFolderExists = true;
          v.listedFolderAddress = entry->address;
        } else if (entry->type != TSK_FS_NAME_TYPE_UNDEF) {
          v.listedFolderError = "the folder " + std::string(folderName) + " cannot be read: " + reason;
        }
      }
    }
  }
  if (!v.listedFolderError.empty()) {
    opened.failure = failure(EIO, v.listedFolderError);
    return opened;
  }
  const Entry* entry = v.listedFolderExists ? findEntry(v.listed, fileName, v.ignoreCase) : nullptr;
  if (entry == nullptr) {
    if (v.listedFolderExists && !v.listedDamagedRead && TSK_FS_TYPE_ISFAT(v.fs->ftype)) {
      v.listedDamaged = damagedFatEntries(v.fs.get(), v.listedFolderAddress, v.listed);
      v.listedDamagedRead = true;
    }
    const DamagedEntry* damaged = findDamaged(v.listedDamaged, fileName);
    opened.failure = damaged != nullptr ? failure(EIO, "exists but cannot be read: " + damaged->reason) : missingFile();
    return opened;
  }
  if (entry->type != TSK_FS_NAME_TYPE_REG && entry->type != TSK_FS_NAME_TYPE_UNDEF) {
    opened.failure = notRegular(TSK_FS_IS_DIR_NAME(entry->type), entry->type == TSK_FS_NAME_TYPE_LNK);
    return opened;
  }
  TskFile handle(tsk_fs_file_open_meta(v.fs.get(), nullptr, entry->address));
  if (!handle || handle->meta == nullptr) {
    opened.failure = failure(EIO, "its record in the file system cannot be read: " + tskReason());
    return opened;
  }
  if (handle->meta->type != TSK_FS_META_TYPE_REG) {
    opened.failure = notRegular(TSK_FS_IS_DIR_META(handle->meta->type), handle->meta->type == TSK_FS_META_TYPE_LNK);
    return opened;
  }
  if (handle->meta->size < 0) {
    opened.failure = failure(EIO, "the file system gives it a negative size");
    return opened;
  }
  const auto size = static_cast<std::uint64_t>(handle->meta->size);
  std::vector<Extent> extents;
  bool direct = false;
  std::uint64_t cutOff = UINT64_MAX;
  std::vector<Extent> stored;
  if (size > 0) {
    const TSK_FS_ATTR* attr = tsk_fs_file_attr_get(handle.get());
    if (attr == nullptr) {
      opened.failure = failure(EIO, "where its data lies cannot be read: " + tskReason());
      return opened;
    }
    cutOff = cutOffAt(v.fs.get(), attr);
    stored = storedStretches(v.fs.get(), attr, size);
    direct = v.options.directReads && plainExtents(v.fs.get(), attr, size, v.disk->size(), extents);
    if (!direct) extents.clear();
  }
  tsk_error_reset();
  opened.file = std::make_unique<ImageFile>(volume_, std::move(handle), size, std::move(extents), direct, cutOff,
                                             std::move(stored));
  return opened;
}

std::string ImageSource::filePath(int folder, int file) const {
  std::string path = volume_->disk->info().path + ":";
  if (!volume_->wholeDisk) path += "partition " + std::to_string(volume_->partition.index) + ":";
  return path + recordingFileName(folder, file);
}

std::string ImageSource::describe() const {
  const Volume& v = *volume_;
  std::string text = v.disk->info().path + " (" + v.disk->info().format + ", " +
                     std::to_string(v.disk->size()) + " bytes), ";
  if (v.wholeDisk) return text + v.partition.fileSystem + " without a partition table";
  return text + "partition " + std::to_string(v.partition.index) + " (" + printableText(v.partition.description) + ", " +
         v.partition.fileSystem + ")";
}

const DiskImageInfo& ImageSource::disk() const { return volume_->disk->info(); }
const PartitionInfo& ImageSource::partition() const { return volume_->partition; }
bool ImageSource::wholeDisk() const { return volume_->wholeDisk; }

PartitionList listPartitions(DiskImage& disk) {
  PartitionList list;
  Failure& failure = list.failure;
  failure.path = disk.info().path;
  std::string reason;
  TskImage image = wrapDisk(disk, reason, disk.size());
  Layout layout;
  if (!image || !readLayout(&image->info, disk, layout, reason)) {
    failure.code = FailureCode::DiskUnreadable;
    failure.reason = image ? disk.info().path + ": " + reason : reason;
    return list;
  }
  for (const Candidate& candidate : layout.candidates) list.partitions.push_back(candidate.info);
  return list;
}

namespace {

// The length of the UTF-8 sequence at `at`, or 0 when none starts there
// (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF).
std::size_t utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;  // the second byte's range
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() - at < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xbf) return 0;
  }
  return length;
}

void appendEscaped(std::string& out, unsigned char byte) {
  static const char digits[] = "0123456789abcdef";
  out += "\\x";
  out += digits[byte >> 4];
  out += digits[byte & 15];
}

}  // namespace

std::string printableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7f) appendEscaped(out, byte);
      else if (byte == '\\') out += "\\\\";
      else out += static_cast<char>(byte);
      ++at;
      continue;
    }
    const std::size_t length = utf8Length(text, at);
    // U+0080 to U+009F, the C1 controls, are 0xc2 0x80 to 0xc2 0x9f.
    const bool c1 = length == 2 && byte == 0xc2 && static_cast<unsigned char>(text[at + 1]) <= 0x9f;
    if (length == 0 || c1) {
      const std::size_t bytes = length == 0 ? 1 : length;
      for (std::size_t i = 0; i < bytes; ++i) appendEscaped(out, static_cast<unsigned char>(text[at + i]));
      at += bytes;
      continue;
    }
    out.append(text.substr(at, length));
    at += length;
  }
  return out;
}

}  // namespace korvex
