#include "platform/qt/desktop/RecentFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

namespace quillet::qt {

namespace {

Q_LOGGING_CATEGORY(lcRecent, "quillet.desktop", QtWarningMsg)

constexpr int kLockWaitMs = 100;  // as long as KDE waits for the list's lock

const QString kBookmarkNs =
    QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString kMimeNs = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");

QString escaped(const QString& text) {
  QString out = text.toHtmlEscaped();  // & < > "
  return out.replace(u'\'', QStringLiteral("&apos;"));
}

QString now() {
  return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QString applicationElement(const RecentFiles::Application& app, qint64 count, const QString& when) {
  return QStringLiteral(
             "<bookmark:application name=\"%1\" exec=\"%2\" modified=\"%3\" count=\"%4\"/>")
      .arg(escaped(app.name), escaped(app.exec), when)
      .arg(count);
}

const char* kEmptyList =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\"\n"
    "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
    "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n"
    ">\n"
    "</xbel>\n";

struct Splice {
  qint64 from, to;  // character offsets in the document
  QString text;
};

// An element as written: its start tag's range, and where its end tag
// begins (the start tag itself when it closes itself).
struct Element {
  qint64 before = -1, after = -1, endBefore = -1;
  bool selfClosing = false, open = true;
  QString name;  // qualified, as written
};

// Puts content inside the element, before its end: an element that closes
// itself is written open and closed around it.
Splice into(const QString& document, const Element& e, const QString& content,
            const QString& closingIndent) {
  if (!e.selfClosing) return {e.endBefore, e.endBefore, content + closingIndent};
  QString open = document.mid(e.before, e.after - e.before);
  open.chop(2);  // "/>"
  while (open.endsWith(u' ') || open.endsWith(u'\n') || open.endsWith(u'\t')) open.chop(1);
  return {e.before, e.after,
          open + u'>' + content + closingIndent + QStringLiteral("</%1>").arg(e.name)};
}

QString applicationsBlock(const RecentFiles::Application& app, const QString& when) {
  return QStringLiteral(
             "\n        <bookmark:applications>\n          %1\n        "
             "</bookmark:applications>")
      .arg(applicationElement(app, 1, when));
}

QString mimeLine(const QString& mimeType) {
  return QStringLiteral("\n        <mime:mime-type type=\"%1\"/>").arg(escaped(mimeType));
}

QString metadataBlock(const QString& mimeType, const RecentFiles::Application& app,
                      const QString& when) {
  return QStringLiteral("\n      <metadata owner=\"http://freedesktop.org\">") +
         mimeLine(mimeType) + applicationsBlock(app, when) + QStringLiteral("\n      </metadata>");
}

QString infoBlock(const QString& mimeType, const RecentFiles::Application& app,
                  const QString& when) {
  return QStringLiteral("\n    <info>") + metadataBlock(mimeType, app, when) +
         QStringLiteral("\n    </info>");
}

QString newBookmark(const QString& uri, const QString& mimeType,
                    const RecentFiles::Application& app, const QString& when) {
  return QStringLiteral("  <bookmark href=\"%1\" added=\"%2\" modified=\"%2\" visited=\"%2\">")
             .arg(escaped(uri), when) +
         infoBlock(mimeType, app, when) + QStringLiteral("\n  </bookmark>\n");
}

// Where the document changes for the entry: the ranges to replace, or the
// reason it is left alone.
std::optional<std::vector<Splice>> plan(const QString& document, const QString& uri,
                                        const QString& mimeType,
                                        const RecentFiles::Application& app, QString* why) {
  const QString when = now();
  QXmlStreamReader xml(document);
  std::vector<Splice> splices;
  // Where the tag just read begins and ends: the reader's own offset may
  // run a character or so ahead, and a tag holds no literal '<'.
  qint64 before = 0, after = 0;
  const auto locateTag = [&] {
    after = document.lastIndexOf(u'>', xml.characterOffset() - 1) + 1;
    before = document.lastIndexOf(u'<', after - 1);
  };
  const auto current = [&] {
    // An attribute's value ends with a quote, so "/>" closes the tag itself.
    const bool selfClosing = document.mid(before, after - before).endsWith(QLatin1String("/>"));
    return Element{before,      after,        before,
                   selfClosing, !selfClosing, xml.qualifiedName().toString()};
  };
  bool rootSeen = false, found = false, inOurs = false, appDone = false, hasMime = false;
  // The entry's parts, where they are: GLib reads the applications only
  // inside the desktop's metadata of its info.
  std::optional<Element> root, ours, info, metadata, applications;
  std::size_t oursTag = 0;  // the splice of the entry's own tag
  int depth = 0;
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::StartElement || token == QXmlStreamReader::EndElement)
      locateTag();
    if (token == QXmlStreamReader::StartElement) {
      ++depth;
      if (depth == 1) {
        const auto prefixes = xml.namespaceDeclarations();
        const auto declares = [&](const QString& prefix, const QString& ns) {
          return std::any_of(prefixes.begin(), prefixes.end(), [&](const auto& d) {
            return d.prefix() == prefix && d.namespaceUri() == ns;
          });
        };
        if (xml.name() != QLatin1String("xbel") ||
            !declares(QStringLiteral("bookmark"), kBookmarkNs) ||
            !declares(QStringLiteral("mime"), kMimeNs)) {
          *why = QStringLiteral("not a desktop bookmark list");
          return std::nullopt;
        }
        rootSeen = true;
        root = current();
      } else if (depth == 2 && xml.name() == QLatin1String("bookmark") && !found &&
                 xml.attributes().value(QLatin1String("href")) == uri) {
        found = inOurs = true;
        ours = current();
        // The entry's own tag, its times brought up to date.
        QString tag = QStringLiteral("<bookmark");
        for (const auto& a : xml.attributes()) {
          const QString name = a.qualifiedName().toString();
          const bool fresh = name == QLatin1String("modified") || name == QLatin1String("visited");
          tag +=
              QStringLiteral(" %1=\"%2\"").arg(name, fresh ? when : escaped(a.value().toString()));
        }
        for (const QLatin1String time : {QLatin1String("modified"), QLatin1String("visited")})
          if (!xml.attributes().hasAttribute(time))
            tag += QStringLiteral(" %1=\"%2\"").arg(time, when);
        oursTag = splices.size();
        splices.push_back(
            {before, after, tag + (ours->selfClosing ? QLatin1String("/>") : QLatin1String(">"))});
      } else if (inOurs && depth == 3 && !info && xml.name() == QLatin1String("info")) {
        info = current();
      } else if (inOurs && depth == 4 && info && info->open && !metadata &&
                 xml.name() == QLatin1String("metadata") &&
                 xml.attributes().value(QLatin1String("owner")) ==
                     QLatin1String("http://freedesktop.org")) {
        metadata = current();
      } else if (inOurs && depth == 5 && metadata && metadata->open &&
                 xml.namespaceUri() == kMimeNs && xml.name() == QLatin1String("mime-type")) {
        hasMime = true;
      } else if (inOurs && depth == 5 && metadata && metadata->open && !applications &&
                 xml.namespaceUri() == kBookmarkNs && xml.name() == QLatin1String("applications")) {
        applications = current();
      } else if (inOurs && applications && applications->open &&
                 xml.namespaceUri() == kBookmarkNs && xml.name() == QLatin1String("application") &&
                 xml.attributes().value(QLatin1String("name")) == app.name) {
        const qint64 count = xml.attributes().value(QLatin1String("count")).toLongLong();
        const qint64 start = before;
        xml.skipCurrentElement();
        locateTag();
        --depth;
        splices.push_back(
            {start, after, applicationElement(app, std::max<qint64>(count, 0) + 1, when)});
        appDone = true;
      }
    } else if (token == QXmlStreamReader::EndElement) {
      // The end of an element seen open: where its end tag begins (the
      // start tag's own place when it closes itself).
      const auto ends = [&](std::optional<Element>& e, int at) {
        if (e && depth == at && e->open) {
          e->open = false;
          e->endBefore = before;
        }
      };
      if (inOurs) {
        ends(applications, 5);
        ends(metadata, 4);
        ends(info, 3);
      }
      if (inOurs && depth == 2) {
        inOurs = false;
        ends(ours, 2);
        if (!appDone) {
          // Quillet's line goes where GLib looks for it, made where missing;
          // everything else of the entry stays.
          const QString line = applicationElement(app, 1, when);
          if (applications) {
            splices.push_back(
                applications->selfClosing
                    ? into(document, *applications, QStringLiteral("\n          ") + line,
                           QStringLiteral("\n        "))
                    : Splice{applications->endBefore, applications->endBefore,
                             QStringLiteral("  ") + line + QStringLiteral("\n        ")});
          } else if (metadata) {
            splices.push_back(
                into(document, *metadata,
                     (hasMime ? QString() : mimeLine(mimeType)) + applicationsBlock(app, when),
                     QStringLiteral("\n      ")));
          } else if (info) {
            splices.push_back(into(document, *info, metadataBlock(mimeType, app, when),
                                   QStringLiteral("\n    ")));
          } else {
            const QString content = infoBlock(mimeType, app, when);
            if (ours->selfClosing) {
              // The entry's rebuilt tag holds it all.
              QString& tag = splices[oursTag].text;
              tag.chop(2);
              tag += u'>' + content + QStringLiteral("\n  </bookmark>");
            } else {
              splices.push_back(
                  {ours->endBefore, ours->endBefore, content + QStringLiteral("\n  ")});
            }
          }
        }
      }
      if (depth == 1 && !found) {
        if (root->selfClosing)
          splices.push_back(
              into(document, *root,
                   QStringLiteral("\n") + newBookmark(uri, mimeType, app, when).chopped(1),
                   QStringLiteral("\n")));
        else
          splices.push_back({before, before, newBookmark(uri, mimeType, app, when)});
      }
      --depth;
    }
  }
  if (xml.hasError() || !rootSeen) {
    *why = xml.hasError() ? xml.errorString() : QStringLiteral("no document");
    return std::nullopt;
  }
  return splices;
}

}  // namespace

RecentFiles::RecentFiles(Application application, QString path)
    : app(std::move(application)), listPath(std::move(path)) {
  if (listPath.isEmpty())
    listPath = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/recently-used.xbel");
}

QByteArray RecentFiles::fileUri(const QByteArray& absolutePath) {
  return "file://" + absolutePath.toPercentEncoding("/!$&'()*+,:=@");
}

bool RecentFiles::add(const QByteArray& path, const QString& mimeType) {
  std::error_code error;
  const std::filesystem::path absolute =
      std::filesystem::absolute(path.toStdString(), error).lexically_normal();
  if (path.isEmpty() || error || !std::filesystem::is_regular_file(absolute, error)) {
    qCInfo(lcRecent) << "recent files: skipped, no regular file:" << path;
    return false;
  }
  const QString uri = QString::fromLatin1(fileUri(QByteArray::fromStdString(absolute.string())));

  // Held from the reading to the replacing, so that a KDE program's entry
  // written in between is not lost: KDE takes this same lock, briefly, and
  // gives up when it cannot (GLib takes none and replaces atomically, as
  // this does).
  QDir().mkpath(QFileInfo(listPath).absolutePath());
  QLockFile lock(listPath + QStringLiteral(".lock"));
  lock.setStaleLockTime(0);  // stale only when its program is gone
  if (!lock.tryLock(kLockWaitMs)) {
    qCInfo(lcRecent) << "recent files: skipped," << listPath << "is locked by another program";
    return false;
  }

  QFile file(listPath);
  const bool existed = file.exists();
  QByteArray bytes = kEmptyList;
  if (existed) {
    if (!file.open(QIODevice::ReadOnly)) {
      qCInfo(lcRecent) << "recent files: skipped, cannot read" << listPath;
      return false;
    }
    bytes = file.readAll();
    file.close();
  }
  // Only UTF-8 is rewritten: anything else would not come back byte for byte.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString document = utf8.decode(bytes);
  QString why;
  std::optional<std::vector<Splice>> splices;
  if (utf8.hasError())
    why = QStringLiteral("not UTF-8");
  else
    splices = plan(document, uri, mimeType, app, &why);
  if (!splices) {
    qCInfo(lcRecent).noquote() << "recent files: skipped," << listPath << "left alone:" << why;
    return false;
  }
  QString updated = document;
  std::sort(splices->begin(), splices->end(),
            [](const Splice& a, const Splice& b) { return a.from > b.from; });
  for (const Splice& s : *splices) updated.replace(s.from, s.to - s.from, s.text);

  // An existing list keeps its mode; a new one is the user's alone, as GTK
  // makes it: it tells what the user has opened.
  QSaveFile out(listPath);
  if (!out.open(QIODevice::WriteOnly) ||
      (!existed && !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) ||
      out.write(updated.toUtf8()) < 0 || !out.commit()) {
    qCInfo(lcRecent) << "recent files: skipped, cannot write" << listPath << out.errorString();
    return false;
  }
  return true;
}

}  // namespace quillet::qt
