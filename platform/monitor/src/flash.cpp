// The flash part: memory that only clears bits, written through to an image
// file in the state folder so that it outlives the program.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "internal.h"

namespace monitor_impl {

namespace {

bool write_all(int fd, const uint8_t* data, size_t len, off_t offset) {
  while (len > 0) {
    ssize_t n = pwrite(fd, data, len, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

bool read_all(int fd, uint8_t* data, size_t len) {
  size_t got = 0;
  while (got < len) {
    ssize_t n = pread(fd, data + got, len - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool flash_part::open(const std::string& path, uint32_t size) {
  close();
  m_path = path;
  m_budget = -1;
  m_powered = true;
  m_programmed = 0;
  if (path.empty()) {
    m_size = size;
    m_bytes.reset(new uint8_t[size]);
    std::memset(m_bytes.get(), 0xFF, size);
    return true;
  }
  // A compaction that did not finish left its image behind: the old image
  // stands.
  ::unlink((path + ".new").c_str());
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "monitor: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  struct stat st {};
  fstat(fd, &st);
  if (st.st_size > (off_t(1) << 30)) {
    std::fprintf(stderr, "monitor: %s is no flash image\n", path.c_str());
    ::close(fd);
    return false;
  }
  if (st.st_size > 0) {
    m_size = static_cast<uint32_t>(st.st_size);
    m_bytes.reset(new uint8_t[m_size]);
    if (!read_all(fd, m_bytes.get(), m_size)) {
      std::fprintf(stderr, "monitor: cannot read %s\n", path.c_str());
      ::close(fd);
      m_bytes.reset();
      m_size = 0;
      return false;
    }
  } else {
    m_size = size;
    m_bytes.reset(new uint8_t[size]);
    std::memset(m_bytes.get(), 0xFF, size);
    if (!write_all(fd, m_bytes.get(), size, 0)) {
      std::fprintf(stderr, "monitor: cannot write %s\n", path.c_str());
      ::close(fd);
      return false;
    }
  }
  m_fd = fd;
  return true;
}

void flash_part::close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_bytes.reset();
  m_size = 0;
}

uint32_t flash_part::take_budget(uint32_t n) {
  if (!m_powered) return 0;
  if (m_budget < 0) return n;
  if (m_budget >= n) {
    m_budget -= n;
    return n;
  }
  uint32_t k = static_cast<uint32_t>(m_budget);
  m_budget = 0;
  m_powered = false;
  return k;
}

void flash_part::write_through(uint32_t offset, uint32_t len) {
  if (m_fd < 0 || len == 0) return;
  if (!write_all(m_fd, m_bytes.get() + offset, len, offset))
    std::fprintf(stderr, "monitor: flash image write failed: %s\n", std::strerror(errno));
}

bool flash_part::program(uint32_t offset, const void* data, uint32_t len) {
  if (!m_bytes || offset > m_size || len > m_size - offset) return false;
  uint32_t n = take_budget(len);
  const uint8_t* in = static_cast<const uint8_t*>(data);
  uint8_t* out = m_bytes.get() + offset;
  for (uint32_t i = 0; i < n; ++i) out[i] &= in[i];
  m_programmed += n;
  write_through(offset, n);
  return n == len;
}

bool flash_part::replace(const std::vector<uint8_t>& content) {
  if (!m_bytes || content.size() != m_size || !m_powered) return false;
  if (m_fd < 0) {
    // In memory there is no torn state to guard against, only the budget.
    uint32_t n = take_budget(m_size);
    if (n < m_size) return false;
    std::memcpy(m_bytes.get(), content.data(), m_size);
    return true;
  }
  std::string tmp = m_path + ".new";
  int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  uint32_t n = take_budget(m_size);
  bool ok = write_all(fd, content.data(), n, 0) && n == m_size && fsync(fd) == 0;
  if (!ok) {
    // The cut leaves the partial image for the next start to throw away.
    ::close(fd);
    return false;
  }
  if (::rename(tmp.c_str(), m_path.c_str()) != 0) {
    ::close(fd);
    ::unlink(tmp.c_str());
    return false;
  }
  ::close(m_fd);
  m_fd = fd;
  std::memcpy(m_bytes.get(), content.data(), m_size);
  return true;
}

}  // namespace monitor_impl
