#include "platform/qt/banner/BannerWire.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/qt/system/UniqueFd.h"

namespace quillet::qt::bannerwire {

namespace {

Q_LOGGING_CATEGORY(lcWire, "quillet.banner.wire", QtWarningMsg)

constexpr quint32 kFrameTag = 0x31464251;  // "QBF1"
constexpr quint32 kOpenTag = 0x314f4251;   // "QBO1"
constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
// A sender may attach more descriptors than asked for; they are all taken
// and closed.
constexpr int kMaxPassed = 8;

struct FrameHeader {
  quint32 tag, width, height, stride;
};

// A read-only mapping, unmapped when it goes out of scope.
class Mapping {
 public:
  Mapping(int fd, size_t size)
      : size(size), data(::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0)) {}
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  ~Mapping() {
    if (data != MAP_FAILED) ::munmap(data, size);
  }
  const uchar* bytes() const {
    return data == MAP_FAILED ? nullptr : static_cast<const uchar*>(data);
  }

 private:
  size_t size;
  void* data;
};

bool sendWithFd(int socket, const void* data, size_t size, int fd) {
  iovec iov{const_cast<void*>(data), size};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (fd >= 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
  }
  ssize_t sent;
  do sent = ::sendmsg(socket, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
  while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(size);
}

// The frame in fd as header describes it, or a null image.
QImage readFrame(const FrameHeader& header, int fd, QSize largest) {
  const qint64 width = header.width, height = header.height, stride = header.stride;
  if (width < 1 || height < 1 || width > std::min(kMaxSide, largest.width()) ||
      height > std::min(kMaxSide, largest.height()) || stride < width * 4 || stride % 4 != 0 ||
      stride * height > kMaxFrameBytes) {
    qCDebug(lcWire) << "frame of unlikely sizes dropped:" << width << height << stride;
    return {};
  }
  const size_t bytes = static_cast<size_t>(stride * height);
  // Only sealed memory stays as large as it says: anything else could
  // shrink under the mapping and fault.
  const int seals = ::fcntl(fd, F_GET_SEALS);
  struct stat st {};
  if (seals < 0 || !(seals & F_SEAL_SHRINK) || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_size < static_cast<off_t>(bytes)) {
    qCDebug(lcWire) << "frame in unsealed or short memory dropped";
    return {};
  }
  const Mapping mapping(fd, bytes);
  if (!mapping.bytes()) return {};
  return QImage(mapping.bytes(), int(width), int(height), qsizetype(stride), QImage::Format_RGB32)
      .copy();
}

Message only(Message::Kind kind) {
  Message message;
  message.kind = kind;
  return message;
}

}  // namespace

bool sendFrame(int socket, QSize size, const std::function<void(QImage&)>& paint) {
  if (size.isEmpty() || size.width() > kMaxSide || size.height() > kMaxSide) return false;
  const qsizetype stride = qsizetype(size.width()) * 4;
  const qsizetype bytes = stride * size.height();
  if (bytes > kMaxFrameBytes) return false;
  const UniqueFd memory(::memfd_create("quillet-banner-frame", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (memory.get() < 0 || ::ftruncate(memory.get(), bytes) != 0) return false;
  {
    void* data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memory.get(), 0);
    if (data == MAP_FAILED) return false;
    QImage image(static_cast<uchar*>(data), size.width(), size.height(), stride,
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    paint(image);
    image = QImage();
    ::munmap(data, bytes);
  }
  // Sealed, the frame can neither shrink nor change once it is sent.
  if (::fcntl(memory.get(), F_ADD_SEALS, kSeals) != 0) return false;
  const FrameHeader header{kFrameTag, quint32(size.width()), quint32(size.height()),
                           quint32(stride)};
  return sendWithFd(socket, &header, sizeof header, memory.get());
}

bool sendOpen(int socket, const QUrl& address) {
  QByteArray message(reinterpret_cast<const char*>(&kOpenTag), sizeof kOpenTag);
  message += address.toEncoded(QUrl::FullyEncoded);
  if (message.size() > qsizetype(sizeof kOpenTag) + kMaxAddress) return false;
  return sendWithFd(socket, message.constData(), size_t(message.size()), -1);
}

Message receive(int socket, QSize largest) {
  std::array<char, sizeof(quint32) + kMaxAddress> data{};
  iovec iov{data.data(), data.size()};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxPassed)] = {};
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t got;
  do got = ::recvmsg(socket, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  while (got < 0 && errno == EINTR);
  if (got < 0)
    return only(errno == EAGAIN || errno == EWOULDBLOCK ? Message::None : Message::Closed);
  if (got == 0) return only(Message::Closed);

  // Every descriptor passed is taken, so that none stays open.
  std::array<std::unique_ptr<UniqueFd>, kMaxPassed> passed;
  int count = 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    const size_t n = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < n && count < kMaxPassed; ++i) {
      int fd;
      std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
      passed[size_t(count++)] = std::make_unique<UniqueFd>(fd);
    }
  }
  if (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) return only(Message::Ignored);

  quint32 tag = 0;
  if (got < ssize_t(sizeof tag)) return only(Message::Ignored);
  std::memcpy(&tag, data.data(), sizeof tag);
  if (tag == kFrameTag && got == ssize_t(sizeof(FrameHeader)) && count == 1) {
    FrameHeader header;
    std::memcpy(&header, data.data(), sizeof header);
    QImage frame = readFrame(header, passed[0]->get(), largest);
    if (frame.isNull()) return only(Message::Ignored);
    Message message = only(Message::Frame);
    message.frame = std::move(frame);
    return message;
  }
  if (tag == kOpenTag && count == 0) {
    const QUrl address = QUrl::fromEncoded(
        QByteArray(data.data() + sizeof tag, qsizetype(got) - qsizetype(sizeof tag)),
        QUrl::StrictMode);
    if (address.isValid()) {
      Message message = only(Message::Open);
      message.address = address;
      return message;
    }
  }
  return only(Message::Ignored);
}

}  // namespace quillet::qt::bannerwire

namespace quillet::qt {

bool isPageType(const QByteArray& type) {
  if (type.isEmpty() || type.size() > 200) return false;
  for (char c : type)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/;=+-._", c))) return false;
  return type.contains('/');
}

bool isWebAddress(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  return url.isValid() && !url.host().isEmpty() && (scheme == "http" || scheme == "https");
}

}  // namespace quillet::qt
