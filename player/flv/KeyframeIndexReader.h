#pragma once
// Reads a stream's key-frame index from the onMetaData at its start: a local
// file on Qt's thread pool, an http(s) stream through a ranged request. Only
// the read for the latest stream reports; earlier ones are forgotten.

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "player/flv/FlvMetadata.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace quillet::player {

class KeyframeIndexReader final : public QObject {
  Q_OBJECT
 public:
  explicit KeyframeIndexReader(QObject* parent = nullptr);
  ~KeyframeIndexReader() override;

  // Starts reading the stream's index; a read under way is forgotten.
  void start(const QString& address, bool network);
  // Forgets the read under way.
  void cancel();

 signals:
  // The latest stream's index, when it has one.
  void indexRead(const quillet::player::KeyframeIndex& index);

 private:
  struct Mailbox;

  void readOverHttp(const QString& address);
  void delivered(quint64 generation, std::optional<FlvMetadata> meta);

  // GUI thread only, except through the mailbox.
  std::shared_ptr<Mailbox> mailbox_;
  quint64 generation_ = 0;                    // counts start() and cancel() calls
  QNetworkAccessManager* network_ = nullptr;  // child; made for the first http stream
  QNetworkReply* reply_ = nullptr;
};

}  // namespace quillet::player
