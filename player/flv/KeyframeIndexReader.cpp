#include "player/flv/KeyframeIndexReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThreadPool>
#include <QUrl>
#include <algorithm>
#include <mutex>
#include <vector>

#include "player/movie/FlashVars.h"

namespace quillet::player {

namespace {

// The head of a file that is read for its key-frame index at most: the
// metadata tag can be 16 MiB, and a few small tags may come before it.
constexpr std::size_t kMaxMetadataHead = 20u << 20;
constexpr std::size_t kFirstMetadataRead = 64u << 10;

// Reads the onMetaData of a local file, just as far as needed.
std::optional<FlvMetadata> readMetadataFromFile(const QString& path) {
  // Opened by its bytes: QFile would open a name that is not UTF-8 as another.
  // A pipe put there since the check must not block.
  const int fd = ::open(bytesOf(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  QFile file;
  if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  std::vector<unsigned char> head;
  std::size_t want = kFirstMetadataRead;
  while (want <= kMaxMetadataHead) {
    const std::size_t had = head.size();
    head.resize(want);
    const qint64 got =
        file.read(reinterpret_cast<char*>(head.data() + had), static_cast<qint64>(want - had));
    head.resize(had + static_cast<std::size_t>(std::max<qint64>(got, 0)));
    const std::size_t need = flvMetadataBytesNeeded(head);
    if (need == 0) return std::nullopt;
    if (need <= head.size()) return readFlvMetadata(head);
    if (head.size() < want) return std::nullopt;  // the file ends first
    want = need;
  }
  return std::nullopt;
}

}  // namespace

// Hands results of the thread pool's reads back to the GUI thread. Pool
// threads call deliver(); the reader clears `reader` under the lock when it
// goes, so no result reaches it afterwards.
struct KeyframeIndexReader::Mailbox {
  std::mutex lock;
  KeyframeIndexReader* reader = nullptr;  // guarded by lock; null once the reader is gone

  void deliver(quint64 generation, std::optional<FlvMetadata> meta) {
    std::lock_guard guard(lock);
    if (!reader) return;
    QMetaObject::invokeMethod(
        reader,
        [r = reader, generation, meta = std::move(meta)] { r->delivered(generation, meta); },
        Qt::QueuedConnection);
  }
};

KeyframeIndexReader::KeyframeIndexReader(QObject* parent)
    : QObject(parent), mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->reader = this;
}

KeyframeIndexReader::~KeyframeIndexReader() {
  {
    std::lock_guard guard(mailbox_->lock);
    mailbox_->reader = nullptr;
  }
  cancel();
}

void KeyframeIndexReader::cancel() {
  ++generation_;
  if (!reply_) return;
  reply_->disconnect(this);
  if (reply_->isRunning()) reply_->abort();
  reply_->deleteLater();
  reply_ = nullptr;
}

void KeyframeIndexReader::start(const QString& address, bool network) {
  cancel();
  if (network) {
    readOverHttp(address);
    return;
  }
  QThreadPool::globalInstance()->start(
      [mailbox = mailbox_, generation = generation_, path = address] {
        mailbox->deliver(generation, readMetadataFromFile(path));
      });
}

void KeyframeIndexReader::readOverHttp(const QString& address) {
  if (!network_) network_ = new QNetworkAccessManager(this);
  QNetworkRequest request{QUrl(address)};
  request.setRawHeader("Range", "bytes=0-" + QByteArray::number(qulonglong{kMaxMetadataHead - 1}));
  request.setTransferTimeout(20000);
  QNetworkReply* reply = network_->get(request);
  reply_ = reply;

  auto head = std::make_shared<std::vector<unsigned char>>();
  const auto finish = [this, reply, head, generation = generation_] {
    reply->disconnect(this);
    if (reply_ == reply) reply_ = nullptr;
    const std::size_t need = flvMetadataBytesNeeded(*head);
    delivered(generation, need > 0 && need <= head->size() ? readFlvMetadata(*head) : std::nullopt);
    // Aborted from the event loop, not from inside the reply's own signal,
    // where Qt's backend still reports to it afterwards.
    QMetaObject::invokeMethod(
        reply,
        [reply] {
          if (reply->isRunning()) reply->abort();
          reply->deleteLater();
        },
        Qt::QueuedConnection);
  };
  connect(reply, &QNetworkReply::readyRead, this, [reply, head, finish] {
    const QByteArray chunk = reply->read(kMaxMetadataHead - head->size());
    head->insert(head->end(), chunk.begin(), chunk.end());
    // A server that ignores the range sends the whole file: stop as soon as
    // the metadata is in, or once it cannot come.
    const std::size_t need = flvMetadataBytesNeeded(*head);
    if (need == 0 || need <= head->size() || head->size() >= kMaxMetadataHead) finish();
  });
  connect(reply, &QNetworkReply::finished, this, finish);
}

void KeyframeIndexReader::delivered(quint64 generation, std::optional<FlvMetadata> meta) {
  if (generation != generation_ || !meta || meta->keyframes.times.empty()) return;
  emit indexRead(meta->keyframes);
}

}  // namespace quillet::player
