// Where a store's recording files come from. A job asks its source for
// "folder f, file n" and reads the file it gets at offsets; it never builds
// a path itself. The folder of a mounted disk is one source; a file system
// inside a disk image and a buffer in memory are others.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/failure.h"

namespace korvex {

struct DiskDescription;  // store/disk_source.h

// How a file will be read, passed on as a read-ahead hint.
enum class ReadPattern {
  WholeFile,    // payloads are read: read ahead sequentially
  HeadersOnly,  // payloads are skipped: read only what is asked for
};

// One recording file, open for reading only.
class SourceFile {
 public:
  virtual ~SourceFile() = default;
  // The file's length in bytes when it was opened.
  virtual std::uint64_t size() const = 0;
  // Reads into `parts` at `offset`, as preadv does: the bytes read (fewer
  // at the end of the file, 0 past it), or -1 with errno set.
  virtual std::int64_t readAt(std::uint64_t offset, const iovec* parts, int count) = 0;
  // The unit in which the medium fails a read (a sector): a read error
  // makes at least this much unreadable, aligned to it.
  virtual std::uint32_t blockSize() const { return 512; }
  // The first offset at or after `offset` where the file system may store
  // some of the file's bytes; size() when it stores none from there on.
  // What it stores nothing for (a hole) reads as zeros. Without a better
  // answer every byte may be stored.
  virtual std::uint64_t dataFrom(std::uint64_t offset) { return offset; }
  // Once the reads of this file come near its end, the first bytes of
  // `next` are asked for (askAhead), so that the medium goes on from one
  // file to the next without waiting for the next one's first read.
  // `next` outlives the reads of this file.
  virtual void setFollowedBy(SourceFile& next) { (void)next; }
  // Asks the medium for the file's first bytes ahead of its reads: a hint,
  // where the medium takes one.
  virtual void askAhead() {}
  // Reads into one buffer.
  std::int64_t readAt(std::uint64_t offset, void* into, std::size_t length) {
    const iovec part{into, length};
    return readAt(offset, &part, 1);
  }
};

// A file, or why there is none: Missing when it does not exist (the store's
// normal end), else NotOpened, with errno and the reason for people
// ("Permission denied", "not a regular file").
struct OpenedFile {
  std::unique_ptr<SourceFile> file;
  Failure failure;
};

// What lies under a store's root, or why it could not be listed.
struct FolderListing {
  int count = 0;        // as countFolders gives it
  // The folders named as the store names them ("dir%05d"), whatever their
  // kind, ascending: where a missing folder is, and what lies after it.
  std::vector<std::int32_t> folders;
  Failure failure;  // None when the root was listed
  bool listed() const { return !failure.failed(); }
  // A root that exists and could not be listed: the job cannot say whether
  // the disk holds video. A root that is not there holds no folders.
  bool failed() const { return failure.failed() && !failure.missing(); }
};

class RecordingSource {
 public:
  virtual ~RecordingSource() = default;
  // Entries directly under the store's root whose names start with "dir",
  // whatever their kind. 0 when the root cannot be read.
  virtual int countFolders() const = 0;
  // The same count with the folders' numbers and why it could not be made.
  // Sources whose root was read when they were opened cannot fail here;
  // those that cannot tell the numbers have folders 0 to count-1.
  virtual FolderListing listFolders() const;
  // Opens recording file `file` of folder `folder`. Never blocks and never
  // writes: anything but a regular file is a failure.
  virtual OpenedFile openFile(int folder, int file, ReadPattern pattern) const = 0;
  // How people and logs name that file ("<root>dir00000/file0003.dat" for
  // a folder).
  virtual std::string filePath(int folder, int file) const = 0;
  // What the store is, in one line for people and logs: the root folder, or
  // the image, its format and the partition used.
  virtual std::string describe() const { return {}; }
  // What the custody log records of the disk behind the store (defined with
  // DiskDescription): by default the one line above, of format "other".
  virtual DiskDescription describeDisk() const;
};

// The store's own name of a recording file: "dir%05d/file%04d.dat".
std::string recordingFileName(int folder, int file);

// A store in a folder of the local file system (a mounted disk). The root is
// used as given and must end with '/'. It is opened once, here, following
// symbolic links on the way (the user named it); below it nothing is
// followed: a recorder folder or a recording file that is a symbolic link
// is refused, as inside a disk image, so that nothing outside the store is
// read as the store's.
class FolderSource final : public RecordingSource {
 public:
  explicit FolderSource(std::string root);
  ~FolderSource() override;
  FolderSource(const FolderSource&) = delete;
  FolderSource& operator=(const FolderSource&) = delete;

  int countFolders() const override { return listFolders().count; }
  FolderListing listFolders() const override;
  OpenedFile openFile(int folder, int file, ReadPattern pattern) const override;
  std::string filePath(int folder, int file) const override;
  std::string describe() const override { return root_; }
  DiskDescription describeDisk() const override;
  const std::string& root() const { return root_; }

  // Opens one local file as a recording file (also used for a single file
  // given by path, whose links are followed: the user named it).
  static OpenedFile openPath(const std::string& path, ReadPattern pattern);

 private:
  std::string root_;
  int rootFd_ = -1;
  int rootError_ = 0;  // errno of opening the root, when rootFd_ is -1
};

}  // namespace korvex
