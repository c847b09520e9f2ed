// The flash file system. Files are appended one after another: a 128-byte
// header, then the data, padded to 16 bytes. A header's state byte is
// programmed from erased to claimed (first), to complete (last), and to
// deleted; deleted space comes back only by defragmenting, which compacts
// the live files to the start of the flash.
#include <fnmatch.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <map>

#include "internal.h"

namespace monitor_impl {

namespace {

uint32_t align_up(uint64_t n) { return static_cast<uint32_t>((n + tfs::ALIGN - 1) & ~uint64_t(tfs::ALIGN - 1)); }

struct flag_letter {
  char letter;
  uint32_t flag;
};
// Order of the letters in a flag text.
const flag_letter kLetters[] = {
    {'e', TFS_FLAG_EXEC_SCRIPT}, {'b', TFS_FLAG_BOOT}, {'E', TFS_FLAG_EXEC_IMAGE}, {'l', TFS_FLAG_LINK},
    {'i', TFS_FLAG_IPMOD},       {'p', TFS_FLAG_P},    {'c', TFS_FLAG_C},          {'v', TFS_FLAG_V},
};

bool name_valid(const char* name) {
  if (!name || !*name) return false;
  size_t n = 0;
  for (const char* p = name; *p; ++p, ++n) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c > 0x7E || n >= TFS_NAME_MAX) return false;
  }
  return true;
}

}  // namespace

int tfs::parse_flags(const char* text, uint32_t* flags) {
  *flags = 0;
  if (!text) return 0;
  for (const char* p = text; *p; ++p) {
    const flag_letter* f = nullptr;
    for (const flag_letter& l : kLetters)
      if (l.letter == *p) f = &l;
    if (!f) return -1;
    *flags |= f->flag;
  }
  return 0;
}

void tfs::flags_text(uint32_t flags, char* out) {
  for (const flag_letter& l : kLetters)
    if (flags & l.flag) *out++ = l.letter;
  *out = 0;
}

uint32_t tfs::header_crc(const tfs_header& h) const {
  tfs_header c = h;
  c.state = 0xFF;
  c.hdr_crc = 0xFFFFFFFF;
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(&c), sizeof c));
}

bool tfs::header_valid(uint32_t offset) {
  const uint32_t size = m_flash.size();
  if (offset > size || size - offset < HDR) return false;
  tfs_header h;
  std::memcpy(&h, m_flash.bytes() + offset, HDR);
  if (h.magic != MAGIC || h.layout != LAYOUT || h.hdr_size != HDR) return false;
  if (h.span < HDR || h.span % ALIGN || h.span > size - offset || h.data_size > h.span - HDR) return false;
  if (!std::memchr(h.name, 0, sizeof h.name) || !std::memchr(h.info, 0, sizeof h.info)) return false;
  return header_crc(h) == h.hdr_crc;
}

bool tfs::mark(uint32_t offset, uint8_t state) {
  return m_flash.program(offset + offsetof(tfs_header, state), &state, 1);
}

void tfs::mount() {
  close_all();
  m_live.clear();
  m_dead = 0;
  const uint8_t* b = m_flash.bytes();
  const uint32_t size = m_flash.size();
  uint32_t p = 0;
  while (p < size && size - p >= HDR) {
    bool erased = true;
    for (uint32_t i = 0; i < HDR && erased; ++i) erased = b[p + i] == 0xFF;
    if (erased) break;
    if (header_valid(p)) {
      const tfs_header* h = at(p);
      if (h->state == STATE_COMPLETE)
        m_live.push_back(p);
      else
        m_dead += h->span;  // deleted, or an add that did not complete
      p += h->span;
      continue;
    }
    // A header that a power cut tore. Entries written after the tear (at a
    // later boot) start at a boundary beyond it: skip to the next valid
    // header, or, when there is none, past the last programmed byte.
    uint32_t q = p + ALIGN;
    while (q < size && size - q >= HDR && !(at(q)->magic == MAGIC && header_valid(q))) q += ALIGN;
    if (q < size && size - q >= HDR) {
      m_dead += q - p;
      p = q;
      continue;
    }
    uint32_t last = size;
    while (last > p && b[last - 1] == 0xFF) --last;
    uint32_t e = std::min<uint32_t>(align_up(last), size);
    m_dead += e - p;
    p = e;
    break;
  }
  m_end = std::min<uint32_t>(align_up(p), size);

  // A replacement cut short between its two steps leaves two live files of
  // one name: the later one is the new content.
  std::map<std::string, size_t> seen;
  std::vector<uint32_t> keep;
  for (uint32_t off : m_live) {
    std::string name = at(off)->name;
    auto it = seen.find(name);
    if (it != seen.end()) {
      uint32_t older = keep[it->second];
      mark(older, STATE_DELETED);
      m_dead += at(older)->span;
      keep[it->second] = off;
    } else {
      seen[name] = keep.size();
      keep.push_back(off);
    }
  }
  std::sort(keep.begin(), keep.end());
  m_live = keep;
}

void tfs::close_all() {
  for (descriptor& d : m_fd) d = descriptor();
}

int tfs::find(const char* name) const {
  if (!name) return -1;
  for (size_t i = 0; i < m_live.size(); ++i)
    if (std::strcmp(reinterpret_cast<const tfs_header*>(m_flash.bytes() + m_live[i])->name, name) == 0)
      return static_cast<int>(i);
  return -1;
}

bool tfs::is_open(uint32_t header) const {
  for (const descriptor& d : m_fd)
    if (d.used && !d.writing && d.header == header) return true;
  return false;
}

bool tfs::any_open() const {
  for (const descriptor& d : m_fd)
    if (d.used) return true;
  return false;
}

uint32_t tfs::free_bytes() const {
  if (m_full) return 0;
  uint32_t avail = m_flash.size() - m_end;
  if (avail < HDR) return 0;
  return (avail - HDR) & ~(ALIGN - 1);
}

int tfs::add(const char* name, const char* info, const char* flags, const void* data, uint32_t size) {
  uint32_t f = 0;
  if (!name_valid(name) || parse_flags(flags, &f) != 0) return TFS_ERR_BADARG;
  if (info && std::strlen(info) > TFS_INFO_MAX) return TFS_ERR_BADARG;
  if (!m_flash.powered()) return TFS_ERR_FLASH;
  int old = find(name);
  if (old >= 0 && is_open(m_live[old])) return TFS_ERR_EXISTS;
  if (m_full) return TFS_ERR_FLASHFULL;
  uint64_t need = align_up(uint64_t(HDR) + size);
  if (uint64_t(HDR) + size > UINT32_MAX || need > m_flash.size() - m_end) return TFS_ERR_FLASHFULL;

  const uint32_t p = m_end;
  // The claim comes first: whatever follows it belongs to this entry.
  if (!mark(p, STATE_CLAIMED)) return TFS_ERR_FLASH;
  tfs_header h;
  std::memset(&h, 0, sizeof h);
  h.hdr_size = HDR;
  h.state = STATE_CLAIMED;
  h.layout = LAYOUT;
  h.data_size = size;
  h.flags = f;
  h.span = static_cast<uint32_t>(need);
  h.reserved = 0xFFFFFFFF;
  h.mod_time = stamp_time();
  std::strncpy(h.name, name, sizeof h.name - 1);
  if (info) std::strncpy(h.info, info, sizeof h.info - 1);
  h.magic = MAGIC;
  h.hdr_crc = header_crc(h);
  m_end = p + static_cast<uint32_t>(need);
  if (!m_flash.program(p, &h, HDR)) return TFS_ERR_FLASH;
  if (data && size && !m_flash.program(p + HDR, data, size)) return TFS_ERR_FLASH;
  if (!mark(p, STATE_COMPLETE)) return TFS_ERR_FLASH;
  if (old >= 0) {
    uint32_t o = m_live[old];
    m_live.erase(m_live.begin() + old);
    m_dead += at(o)->span;
    if (!mark(o, STATE_DELETED)) return TFS_ERR_FLASH;
  }
  m_live.push_back(p);
  return TFS_OKAY;
}

int tfs::unlink(const char* name) {
  int i = find(name);
  if (i < 0) return TFS_ERR_NOFILE;
  uint32_t o = m_live[i];
  if (is_open(o)) return TFS_ERR_NOTPERMITTED;
  if (!m_flash.powered()) return TFS_ERR_FLASH;
  m_live.erase(m_live.begin() + i);
  m_dead += at(o)->span;
  return mark(o, STATE_DELETED) ? TFS_OKAY : TFS_ERR_FLASH;
}

tfs_header* tfs::stat(const char* name) {
  int i = find(name);
  return i < 0 ? nullptr : at(m_live[i]);
}

tfs_header* tfs::next(const tfs_header* prev) {
  if (!m_flash.bytes()) return nullptr;
  if (!prev) return m_live.empty() ? nullptr : at(m_live.front());
  const uint8_t* p = reinterpret_cast<const uint8_t*>(prev);
  const uint8_t* b = m_flash.bytes();
  if (p < b || p >= b + m_flash.size()) return nullptr;
  uint32_t off = static_cast<uint32_t>(p - b);
  for (uint32_t o : m_live)
    if (o > off) return at(o);
  return nullptr;
}

int tfs::ipmod(const char* name, const void* data, uint32_t offset, uint32_t size) {
  if (!data && size) return TFS_ERR_BADARG;
  int i = find(name);
  if (i < 0) return TFS_ERR_NOFILE;
  tfs_header* h = at(m_live[i]);
  if (!(h->flags & TFS_FLAG_IPMOD)) return TFS_ERR_NOTPERMITTED;
  if (offset > h->data_size || size > h->data_size - offset) return TFS_ERR_NOSPACE;
  if (!m_flash.powered()) return TFS_ERR_FLASH;
  if (m_ipmod_failures != 0) {
    if (m_ipmod_failures > 0) --m_ipmod_failures;
    return TFS_ERR_FLASH;
  }
  const uint8_t* in = static_cast<const uint8_t*>(data);
  const uint8_t* cur = reinterpret_cast<const uint8_t*>(h) + HDR + offset;
  for (uint32_t k = 0; k < size; ++k)
    if (in[k] & ~cur[k]) return TFS_ERR_SETBITS;
  return m_flash.program(m_live[i] + HDR + offset, data, size) ? TFS_OKAY : TFS_ERR_FLASH;
}

tfs::descriptor* tfs::desc(int fd) {
  if (fd < 0 || fd >= DESCRIPTORS || !m_fd[fd].used) return nullptr;
  return &m_fd[fd];
}

int tfs::open(const char* name, uint32_t mode, void* buffer, uint32_t buffer_size) {
  int fd = -1;
  for (int k = 0; k < DESCRIPTORS && fd < 0; ++k)
    if (!m_fd[k].used) fd = k;
  if (fd < 0) return TFS_ERR_NOSLOT;
  descriptor d;
  d.used = true;
  d.buffer = static_cast<uint8_t*>(buffer);
  d.capacity = buffer ? buffer_size : 0;
  // A file opened for writing in place is written with ipmod, not through
  // the descriptor: it is not copied anywhere and stays where it is.
  const bool in_place = (mode & TFS_OPEN_APPEND) && !(mode & TFS_OPEN_CREATE) && (mode & TFS_FLAG_IPMOD);
  if ((mode & (TFS_OPEN_CREATE | TFS_OPEN_APPEND)) && !in_place) {
    if (!name_valid(name) || !buffer || buffer_size == 0) return TFS_ERR_BADARG;
    d.writing = true;
    d.name = name;
    int i = find(name);
    if (mode & TFS_OPEN_CREATE) {
      d.flags = mode & TFS_FLAGS_FILE;
    } else {
      if (i < 0) return TFS_ERR_NOFILE;
      const tfs_header* h = at(m_live[i]);
      if (h->data_size > buffer_size) return TFS_ERR_NOSPACE;
      std::memcpy(buffer, reinterpret_cast<const uint8_t*>(h) + HDR, h->data_size);
      d.flags = h->flags;
      d.length = d.position = h->data_size;
    }
  } else {
    int i = find(name);
    if (i < 0) return TFS_ERR_NOFILE;
    const tfs_header* h = at(m_live[i]);
    d.header = m_live[i];
    d.name = name;
    if (mode & TFS_OPEN_BUFFERED) {
      if (!buffer) return TFS_ERR_BADARG;
      if (h->data_size > buffer_size) return TFS_ERR_NOSPACE;
      std::memcpy(buffer, reinterpret_cast<const uint8_t*>(h) + HDR, h->data_size);
    }
  }
  m_fd[fd] = d;
  return fd;
}

int tfs::read(int fd, void* buffer, uint32_t size) {
  descriptor* d = desc(fd);
  if (!d || (!buffer && size)) return TFS_ERR_BADARG;
  if (d->writing) return TFS_ERR_NOTPERMITTED;
  const tfs_header* h = at(d->header);
  if (d->position >= h->data_size) return TFS_ERR_EOF;
  uint32_t n = std::min<uint32_t>({size, h->data_size - d->position, static_cast<uint32_t>(INT_MAX)});
  std::memcpy(buffer, reinterpret_cast<const uint8_t*>(h) + HDR + d->position, n);
  d->position += n;
  return static_cast<int>(n);
}

int tfs::write(int fd, const void* data, uint32_t size) {
  descriptor* d = desc(fd);
  if (!d || (!data && size)) return TFS_ERR_BADARG;
  if (!d->writing) return TFS_ERR_NOTPERMITTED;
  if (d->position > d->capacity || size > d->capacity - d->position) return TFS_ERR_NOSPACE;
  std::memcpy(d->buffer + d->position, data, size);
  d->position += size;
  d->length = std::max(d->length, d->position);
  return TFS_OKAY;
}

int tfs::seek(int fd, int32_t offset, int whence) {
  descriptor* d = desc(fd);
  if (!d) return TFS_ERR_BADARG;
  const uint32_t end = d->writing ? d->length : at(d->header)->data_size;
  int64_t base;
  switch (whence) {
    case TFS_SEEK_SET: base = 0; break;
    case TFS_SEEK_CUR: base = d->position; break;
    case TFS_SEEK_END: base = end; break;
    default: return TFS_ERR_BADARG;
  }
  int64_t to = base + offset;
  if (to < 0) return TFS_ERR_BADARG;
  if (to > end || to > INT_MAX) return TFS_ERR_EOF;
  d->position = static_cast<uint32_t>(to);
  return static_cast<int>(to);
}

int tfs::close(int fd, const char* info) {
  descriptor* d = desc(fd);
  if (!d) return TFS_ERR_BADARG;
  descriptor done = *d;
  *d = descriptor();
  if (!done.writing) return TFS_OKAY;
  char flags[10];
  flags_text(done.flags, flags);
  return add(done.name.c_str(), info, flags, done.buffer, done.length);
}

int tfs::defragment() {
  if (any_open()) return TFS_ERR_NOTPERMITTED;
  if (!m_flash.powered()) return TFS_ERR_FLASH;
  std::vector<uint8_t> image(m_flash.size(), 0xFF);
  uint32_t q = 0;
  for (uint32_t o : m_live) {
    tfs_header h;
    std::memcpy(&h, m_flash.bytes() + o, HDR);
    uint32_t span = align_up(uint64_t(HDR) + h.data_size);
    if (span != h.span) {
      h.span = span;
      h.hdr_crc = header_crc(h);
    }
    std::memcpy(image.data() + q, &h, HDR);
    std::memcpy(image.data() + q + HDR, m_flash.bytes() + o + HDR, h.data_size);
    q += span;
  }
  if (!m_flash.replace(image)) return TFS_ERR_FLASH;
  mount();
  return TFS_OKAY;
}

int tfs::remove_matching(const char* pattern) {
  std::vector<std::string> names;
  for (uint32_t o : m_live) {
    const char* n = at(o)->name;
    if (fnmatch(pattern, n, FNM_NOESCAPE) == 0) names.push_back(n);
  }
  int removed = 0;
  for (const std::string& n : names)
    if (unlink(n.c_str()) == TFS_OKAY) ++removed;
  return removed;
}

}  // namespace monitor_impl
