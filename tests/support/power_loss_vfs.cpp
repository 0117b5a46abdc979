// A power cut for the embedded engine, loaded into a dailybalance process with
// LD_PRELOAD.  Its constructor registers a VFS over the default one as the new
// default: the main database, its WAL and its journal are kept in memory, and
// only what xSync is asked for reaches the file.  At the moment $POWERLOSS_AT
// names, every write not synced yet is dropped, and from then on writes,
// syncs, truncates and deletes are ignored, as for a machine without power;
// the process itself runs on, but nothing it does reaches the disk.
//
//   POWERLOSS_AT=stdout     when this process has written anything to its
//                           stdout, a pipe nobody reads until it has ended
//                           (checked before every file operation, so no sync
//                           can pass after the first byte of its answer)
//   POWERLOSS_AT=sync:N     at the Nth sync of a kept file, instead of it
//   POWERLOSS_AT=send:TEXT  before a send() whose bytes hold TEXT
//   POWERLOSS_LOG=FILE      where the moment of the drop is written:
//                           "dropped on stdout (S syncs) after B bytes of stdout"
//
// What is not synced when the process ends is lost with it (its end is
// noted as a drop too, when none came before).
//
// Locks and the WAL index (shared memory) pass through untouched: after the
// process has ended, SQLite rebuilds the index from the WAL on the disk.
// The process must be alone on the files while it runs.
#include <dlfcn.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Image {
  std::vector<char> data;
  // The bytes written since the last sync, and whether the size changed.
  size_t dirty_from = SIZE_MAX, dirty_to = 0;
  bool resized = false;
};

struct State {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<Image>> images;
  sqlite3_vfs* real = nullptr;
  sqlite3_vfs vfs{};
  sqlite3_io_methods methods{};
  std::string at;   // POWERLOSS_AT
  std::string log;  // POWERLOSS_LOG
  long sync_at = 0;
  long syncs = 0;
  bool lost = false;
};

State& S() {
  static State* state = new State;  // never destroyed: files may close after exit handlers
  return *state;
}

struct File {
  sqlite3_file base;
  std::shared_ptr<Image>* image;  // null: a file that passes through (temporary ones)
  sqlite3_file* real;
};

int StdoutPending() {
  int pending = 0;
  if (::ioctl(1, FIONREAD, &pending) != 0) return 0;
  return pending;
}

// Drops what was not synced (the images are simply never written again).
void Drop(State& s, const char* when) {
  if (s.lost) return;
  s.lost = true;
  if (s.log.empty()) return;
  std::string line = std::string("dropped ") + when + " (" + std::to_string(s.syncs) + " syncs) after " +
                     std::to_string(StdoutPending()) + " bytes of stdout\n";
  int fd = ::open(s.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t written = ::write(fd, line.data(), line.size());
  (void)written;
  ::close(fd);
}

// Called with the mutex held before every operation on a kept file.
bool Lost(State& s) {
  if (!s.lost && s.at == "stdout" && StdoutPending() > 0) Drop(s, "on stdout");
  return s.lost;
}

File* F(sqlite3_file* f) { return reinterpret_cast<File*>(f); }

int Close(sqlite3_file* f) {
  File* p = F(f);
  int rc = p->real->pMethods ? p->real->pMethods->xClose(p->real) : SQLITE_OK;
  delete p->image;
  p->image = nullptr;
  return rc;
}

int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
  File* p = F(f);
  if (!p->image) return p->real->pMethods->xRead(p->real, buffer, amount, offset);
  State& s = S();
  std::lock_guard lock(s.mutex);
  Lost(s);
  const auto& data = (*p->image)->data;
  size_t have = offset < static_cast<sqlite3_int64>(data.size()) ? std::min<size_t>(amount, data.size() - offset) : 0;
  if (have > 0) std::memcpy(buffer, data.data() + offset, have);
  if (have == static_cast<size_t>(amount)) return SQLITE_OK;
  std::memset(static_cast<char*>(buffer) + have, 0, amount - have);
  return SQLITE_IOERR_SHORT_READ;
}

int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
  File* p = F(f);
  State& s = S();
  if (!p->image) return s.lost ? SQLITE_OK : p->real->pMethods->xWrite(p->real, buffer, amount, offset);
  std::lock_guard lock(s.mutex);
  if (Lost(s)) return SQLITE_OK;
  Image& image = **p->image;
  size_t end = static_cast<size_t>(offset) + amount;
  if (end > image.data.size()) {
    image.data.resize(end);
    image.resized = true;
  }
  std::memcpy(image.data.data() + offset, buffer, amount);
  image.dirty_from = std::min<size_t>(image.dirty_from, offset);
  image.dirty_to = std::max(image.dirty_to, end);
  return SQLITE_OK;
}

int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  File* p = F(f);
  State& s = S();
  if (!p->image) return s.lost ? SQLITE_OK : p->real->pMethods->xTruncate(p->real, size);
  std::lock_guard lock(s.mutex);
  if (Lost(s)) return SQLITE_OK;
  Image& image = **p->image;
  image.data.resize(size);
  image.resized = true;
  return SQLITE_OK;
}

int Sync(sqlite3_file* f, int flags) {
  File* p = F(f);
  State& s = S();
  if (!p->image) return s.lost ? SQLITE_OK : p->real->pMethods->xSync(p->real, flags);
  std::lock_guard lock(s.mutex);
  if (Lost(s)) return SQLITE_OK;
  ++s.syncs;
  if (s.sync_at > 0 && s.syncs == s.sync_at) {
    Drop(s, "at sync");
    return SQLITE_OK;
  }
  Image& image = **p->image;
  const sqlite3_io_methods* real = p->real->pMethods;
  image.dirty_to = std::min(image.dirty_to, image.data.size());
  for (size_t at = image.dirty_from; at < image.dirty_to;) {
    // The unix VFS writes at most 128 KiB per call, as SQLite never asks for more.
    int n = static_cast<int>(std::min<size_t>(image.dirty_to - at, 64 << 10));
    if (int rc = real->xWrite(p->real, image.data.data() + at, n, static_cast<sqlite3_int64>(at)); rc != SQLITE_OK)
      return rc;
    at += n;
  }
  if (image.resized) {
    sqlite3_int64 size = 0;
    if (real->xFileSize(p->real, &size) == SQLITE_OK && size != static_cast<sqlite3_int64>(image.data.size()))
      if (int rc = real->xTruncate(p->real, static_cast<sqlite3_int64>(image.data.size())); rc != SQLITE_OK) return rc;
  }
  image.dirty_from = SIZE_MAX;
  image.dirty_to = 0;
  image.resized = false;
  return real->xSync(p->real, flags);
}

int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  File* p = F(f);
  if (!p->image) return p->real->pMethods->xFileSize(p->real, size);
  State& s = S();
  std::lock_guard lock(s.mutex);
  Lost(s);
  *size = static_cast<sqlite3_int64>((*p->image)->data.size());
  return SQLITE_OK;
}

int Lock(sqlite3_file* f, int level) { return F(f)->real->pMethods->xLock(F(f)->real, level); }
int Unlock(sqlite3_file* f, int level) { return F(f)->real->pMethods->xUnlock(F(f)->real, level); }
int CheckReservedLock(sqlite3_file* f, int* out) {
  return F(f)->real->pMethods->xCheckReservedLock(F(f)->real, out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
  // Size hints would grow the file on the disk behind the kept image.
  if (F(f)->image && (op == SQLITE_FCNTL_SIZE_HINT || op == SQLITE_FCNTL_CHUNK_SIZE)) return SQLITE_OK;
  return F(f)->real->pMethods->xFileControl(F(f)->real, op, arg);
}
int SectorSize(sqlite3_file* f) { return F(f)->real->pMethods->xSectorSize(F(f)->real); }
int DeviceCharacteristics(sqlite3_file* f) {
  return F(f)->real->pMethods->xDeviceCharacteristics(F(f)->real);
}
int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return F(f)->real->pMethods->xShmMap(F(f)->real, page, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return F(f)->real->pMethods->xShmLock(F(f)->real, offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) { F(f)->real->pMethods->xShmBarrier(F(f)->real); }
int ShmUnmap(sqlite3_file* f, int delete_flag) {
  return F(f)->real->pMethods->xShmUnmap(F(f)->real, delete_flag);
}

int Open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* out_flags) {
  State& s = S();
  File* p = F(f);
  p->image = nullptr;
  p->real = reinterpret_cast<sqlite3_file*>(p + 1);
  int rc = s.real->xOpen(s.real, name, p->real, flags, out_flags);
  if (rc != SQLITE_OK) {
    p->base.pMethods = nullptr;
    return rc;
  }
  if (name != nullptr && (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL)) != 0) {
    std::lock_guard lock(s.mutex);
    auto& image = s.images[name];
    if (!image) {
      // The first open reads what the disk holds; later ones share it.
      image = std::make_shared<Image>();
      sqlite3_int64 size = 0;
      p->real->pMethods->xFileSize(p->real, &size);
      image->data.resize(size);
      if (size > 0 && p->real->pMethods->xRead(p->real, image->data.data(), static_cast<int>(size), 0) != SQLITE_OK) {
        s.images.erase(name);
        p->real->pMethods->xClose(p->real);
        p->base.pMethods = nullptr;
        return SQLITE_IOERR_READ;
      }
    }
    p->image = new std::shared_ptr<Image>(image);
  }
  p->base.pMethods = &s.methods;
  return SQLITE_OK;
}

int Delete(sqlite3_vfs*, const char* name, int sync_dir) {
  State& s = S();
  {
    std::lock_guard lock(s.mutex);
    if (Lost(s)) return SQLITE_OK;
    s.images.erase(name);
  }
  return s.real->xDelete(s.real, name, sync_dir);
}

__attribute__((constructor)) void RegisterPowerLossVfs() {
  State& s = S();
  const char* at = std::getenv("POWERLOSS_AT");
  const char* log = std::getenv("POWERLOSS_LOG");
  s.at = at ? at : "";
  s.log = log ? log : "";
  if (s.at.rfind("sync:", 0) == 0) s.sync_at = std::atol(s.at.c_str() + 5);
  s.real = sqlite3_vfs_find(nullptr);
  if (s.real == nullptr) return;
  s.vfs = *s.real;
  s.vfs.zName = "powerloss";
  s.vfs.szOsFile = static_cast<int>(sizeof(File)) + s.real->szOsFile;
  s.vfs.pNext = nullptr;
  s.vfs.xOpen = Open;
  s.vfs.xDelete = Delete;
  s.methods.iVersion = 2;  // no xFetch: pages are always read through the image
  s.methods.xClose = Close;
  s.methods.xRead = Read;
  s.methods.xWrite = Write;
  s.methods.xTruncate = Truncate;
  s.methods.xSync = Sync;
  s.methods.xFileSize = FileSize;
  s.methods.xLock = Lock;
  s.methods.xUnlock = Unlock;
  s.methods.xCheckReservedLock = CheckReservedLock;
  s.methods.xFileControl = FileControl;
  s.methods.xSectorSize = SectorSize;
  s.methods.xDeviceCharacteristics = DeviceCharacteristics;
  s.methods.xShmMap = ShmMap;
  s.methods.xShmLock = ShmLock;
  s.methods.xShmBarrier = ShmBarrier;
  s.methods.xShmUnmap = ShmUnmap;
  sqlite3_vfs_register(&s.vfs, 1);
}

// What was not synced dies with the process: its end is a power cut too,
// after whatever it has written to stdout by then.
__attribute__((destructor)) void EndOfProcess() {
  std::fflush(stdout);
  State& s = S();
  std::lock_guard lock(s.mutex);
  Drop(s, "at the end of the process");
}

}  // namespace

// The dialog's answers leave through send(); the drop comes before the bytes do.
extern "C" ssize_t send(int fd, const void* buffer, size_t size, int flags) {
  using SendFn = ssize_t (*)(int, const void*, size_t, int);
  static SendFn real_send = reinterpret_cast<SendFn>(dlsym(RTLD_NEXT, "send"));
  State& s = S();
  if (s.at.rfind("send:", 0) == 0) {
    std::string_view marker(s.at.c_str() + 5);
    std::string_view bytes(static_cast<const char*>(buffer), size);
    if (bytes.find(marker) != std::string_view::npos) {
      std::lock_guard lock(s.mutex);
      Drop(s, "on send");
    }
  }
  return real_send(fd, buffer, size, flags);
}
