#include "ui/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace nami {

QString ResolveFontFamily(const QString& requested) {
  const QStringList families = QFontDatabase::families();
  if (!requested.isEmpty() && requested.compare(QStringLiteral("FixedSys"), Qt::CaseInsensitive) != 0 &&
      families.contains(requested, Qt::CaseInsensitive))
    return requested;
  for (const char* face : {"IPAGothic", "Noto Sans Mono CJK JP"}) {
    const QString name = QString::fromLatin1(face);
    if (families.contains(name, Qt::CaseInsensitive)) return name;
  }
  // Neither is installed: keep the CJK face name so fontconfig picks its
  // nearest Japanese match rather than the generic "monospace".
  return QStringLiteral("IPAGothic");
}

QFont DialogFont() {
  const QStringList families = QFontDatabase::families();
  QFont font;
  for (const char* face : {"IPAPGothic", "IPAPゴシック", "Noto Sans CJK JP", "VL PGothic"}) {
    const QString name = QString::fromUtf8(face);
    if (families.contains(name, Qt::CaseInsensitive)) {
      font.setFamily(name);
      break;
    }
  }
  font.setPointSize(9);
  return font;
}

QFont MakeTerminalFont(const QString& requested, int size) {
  QFont font(ResolveFontFamily(requested));
  font.setPixelSize(size > 0 ? size : 12);
  font.setFixedPitch(true);
  font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setKerning(false);
  return font;
}

}  // namespace nami
