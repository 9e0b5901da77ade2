// Draws the panel's pictures into a folder as PNG files (run at build time):
//   draw_images <folder> <font file>
// M48tz.png (the model), Scanner.png (any scanner), AppIcon2.png, QCConnector.png, QCLogo.png,
// CalibrateScanner.png and CleanScanner.png.
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

const QColor kBrand(0xB7, 0x54, 0x27);
const QColor kBody(0x3A, 0x3F, 0x47);
const QColor kBodyLight(0x5A, 0x61, 0x6C);
const QColor kTray(0xC9, 0xCE, 0xD6);
const QColor kPaper(0xFA, 0xFA, 0xF7);

QImage Canvas(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

void Begin(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// A sheet-fed scanner seen from the front and a little above, in a w x h box at (x, y).
void DrawScanner(QPainter& p, QRectF box, bool branded) {
  const qreal w = box.width();
  const qreal h = box.height();
  const qreal x = box.x();
  const qreal y = box.y();
  // Input tray leaning back with a sheet on it.
  QPainterPath tray;
  tray.moveTo(x + w * 0.20, y + h * 0.42);
  tray.lineTo(x + w * 0.28, y + h * 0.04);
  tray.lineTo(x + w * 0.72, y + h * 0.04);
  tray.lineTo(x + w * 0.80, y + h * 0.42);
  tray.closeSubpath();
  p.setPen(QPen(kBodyLight, w * 0.008));
  p.setBrush(kTray);
  p.drawPath(tray);
  QPainterPath sheet;
  sheet.moveTo(x + w * 0.27, y + h * 0.40);
  sheet.lineTo(x + w * 0.33, y + h * 0.10);
  sheet.lineTo(x + w * 0.67, y + h * 0.10);
  sheet.lineTo(x + w * 0.73, y + h * 0.40);
  sheet.closeSubpath();
  p.setPen(QPen(QColor(0xB0, 0xB4, 0xBA), w * 0.005));
  p.setBrush(kPaper);
  p.drawPath(sheet);
  p.setPen(QPen(QColor(0xC8, 0xCC, 0xD2), w * 0.006));
  for (int i = 0; i < 5; ++i) {
    const qreal ly = y + h * (0.15 + i * 0.045);
    const qreal inset = (0.40 - (ly - y) / h) * 0.2;
    p.drawLine(QPointF(x + w * (0.37 + inset), ly), QPointF(x + w * (0.63 - inset - (i == 4 ? 0.08 : 0)), ly));
  }
  // Body.
  QRectF body(x + w * 0.05, y + h * 0.36, w * 0.90, h * 0.42);
  QLinearGradient shade(body.topLeft(), body.bottomLeft());
  shade.setColorAt(0.0, kBodyLight);
  shade.setColorAt(0.45, kBody);
  shade.setColorAt(1.0, kBody.darker(130));
  p.setPen(Qt::NoPen);
  p.setBrush(shade);
  p.drawRoundedRect(body, w * 0.05, w * 0.05);
  // Top highlight.
  p.setBrush(QColor(255, 255, 255, 40));
  p.drawRoundedRect(QRectF(body.x() + w * 0.02, body.y() + h * 0.015, body.width() - w * 0.04, h * 0.05), w * 0.02,
                    w * 0.02);
  if (branded) {
    p.setBrush(kBrand);
    p.drawRect(QRectF(body.x(), body.y() + body.height() * 0.55, body.width(), body.height() * 0.08));
  }
  // Display and two buttons.
  QRectF lcd(body.x() + body.width() * 0.68, body.y() + body.height() * 0.18, body.width() * 0.18,
             body.height() * 0.26);
  QLinearGradient glass(lcd.topLeft(), lcd.bottomRight());
  glass.setColorAt(0.0, QColor(0x6F, 0xC8, 0xE8));
  glass.setColorAt(1.0, QColor(0x1F, 0x6E, 0x9A));
  p.setBrush(glass);
  p.setPen(QPen(QColor(0x20, 0x24, 0x2A), w * 0.006));
  p.drawRoundedRect(lcd, w * 0.01, w * 0.01);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x9A, 0xE6, 0x7A));
  p.drawEllipse(QPointF(body.x() + body.width() * 0.62, lcd.center().y()), w * 0.018, w * 0.018);
  p.setBrush(QColor(0xE8, 0xEA, 0xEE));
  p.drawEllipse(QPointF(body.x() + body.width() * 0.56, lcd.center().y()), w * 0.018, w * 0.018);
  // Output slot and tray.
  p.setBrush(QColor(0x15, 0x17, 0x1B));
  p.drawRoundedRect(QRectF(body.x() + body.width() * 0.12, body.y() + body.height() * 0.74, body.width() * 0.76,
                           body.height() * 0.08),
                    w * 0.01, w * 0.01);
  QPainterPath out;
  out.moveTo(x + w * 0.18, y + h * 0.76);
  out.lineTo(x + w * 0.82, y + h * 0.76);
  out.lineTo(x + w * 0.90, y + h * 0.95);
  out.lineTo(x + w * 0.10, y + h * 0.95);
  out.closeSubpath();
  QLinearGradient trayShade(QPointF(0, y + h * 0.76), QPointF(0, y + h * 0.95));
  trayShade.setColorAt(0.0, kTray.darker(115));
  trayShade.setColorAt(1.0, kTray);
  p.setBrush(trayShade);
  p.setPen(QPen(kBodyLight, w * 0.006));
  p.drawPath(out);
}

QImage ModelPicture() {
  QImage image = Canvas(320, 240);
  QPainter p(&image);
  Begin(p);
  // A soft shadow under the unit.
  QRadialGradient shadow(QPointF(160, 226), 150);
  shadow.setColorAt(0.0, QColor(0, 0, 0, 70));
  shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(shadow);
  p.drawEllipse(QPointF(160, 226), 150, 12);
  DrawScanner(p, QRectF(10, 4, 300, 226), true);
  return image;
}

QImage GenericScanner() {
  QImage image = Canvas(128, 128);
  QPainter p(&image);
  Begin(p);
  DrawScanner(p, QRectF(4, 10, 120, 108), false);
  return image;
}

QImage AppIcon(const QString& family) {
  QImage image = Canvas(64, 64);
  QPainter p(&image);
  Begin(p);
  QLinearGradient fill(QPointF(0, 0), QPointF(0, 64));
  fill.setColorAt(0.0, kBrand.lighter(125));
  fill.setColorAt(1.0, kBrand.darker(120));
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  QFont font(family);
  font.setBold(true);
  font.setPixelSize(40);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(2, 0, 60, 62), Qt::AlignCenter, QStringLiteral("Q"));
  return image;
}

QImage Connector() {
  QImage image = Canvas(64, 64);
  QPainter p(&image);
  Begin(p);
  p.setPen(Qt::NoPen);
  // Cable.
  p.setBrush(QColor(0x2B, 0x2F, 0x36));
  p.drawRoundedRect(QRectF(27, 40, 10, 22), 4, 4);
  // Plug body and metal shell.
  p.setBrush(kBody);
  p.drawRoundedRect(QRectF(18, 24, 28, 20), 4, 4);
  QLinearGradient metal(QPointF(0, 4), QPointF(0, 26));
  metal.setColorAt(0.0, QColor(0xE6, 0xE8, 0xEB));
  metal.setColorAt(1.0, QColor(0x9A, 0xA0, 0xA8));
  p.setBrush(metal);
  p.drawRect(QRectF(20, 4, 24, 22));
  p.setBrush(QColor(0x40, 0x44, 0x4A));
  p.drawRect(QRectF(25, 9, 5, 4));
  p.drawRect(QRectF(34, 9, 5, 4));
  p.setBrush(kBrand);
  p.drawRect(QRectF(18, 34, 28, 3));
  return image;
}

QImage Logo(const QString& family) {
  QImage image = Canvas(220, 64);
  QPainter p(&image);
  Begin(p);
  // The mark: a ring with a tail.
  p.setPen(QPen(kBrand, 9, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(32, 30), 19, 19);
  p.drawLine(QPointF(42, 40), QPointF(54, 54));
  QFont font(family);
  font.setBold(true);
  font.setPixelSize(38);
  p.setFont(font);
  p.setPen(kBody);
  p.drawText(QRectF(64, 4, 156, 52), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Quarx"));
  return image;
}

QImage Calibrate() {
  QImage image = Canvas(64, 64);
  QPainter p(&image);
  Begin(p);
  p.setPen(QPen(QColor(0xB0, 0xB4, 0xBA), 1.5));
  p.setBrush(kPaper);
  p.drawRect(QRectF(12, 6, 40, 52));
  // Grey steps of the calibration sheet.
  for (int i = 0; i < 5; ++i) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromHsv(0, 0, 40 + i * 50));
    p.drawRect(QRectF(16 + i * 6.6, 12, 6.6, 10));
  }
  p.setPen(QPen(kBrand, 3));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(32, 40), 11, 11);
  p.drawLine(QPointF(32, 24), QPointF(32, 56));
  p.drawLine(QPointF(16, 40), QPointF(48, 40));
  return image;
}

QImage Clean() {
  QImage image = Canvas(64, 64);
  QPainter p(&image);
  Begin(p);
  // Two rollers.
  for (int i = 0; i < 2; ++i) {
    QLinearGradient rubber(QPointF(0, 30 + i * 16), QPointF(0, 44 + i * 16));
    rubber.setColorAt(0.0, QColor(0x55, 0x5B, 0x64));
    rubber.setColorAt(0.5, QColor(0x2A, 0x2E, 0x34));
    rubber.setColorAt(1.0, QColor(0x1A, 0x1D, 0x22));
    p.setPen(Qt::NoPen);
    p.setBrush(rubber);
    p.drawRoundedRect(QRectF(6, 30 + i * 16, 52, 13), 6, 6);
  }
  // Sparkles.
  auto sparkle = [&p](QPointF c, qreal r) {
    QPainterPath star;
    star.moveTo(c.x(), c.y() - r);
    star.quadTo(c, QPointF(c.x() + r, c.y()));
    star.quadTo(c, QPointF(c.x(), c.y() + r));
    star.quadTo(c, QPointF(c.x() - r, c.y()));
    star.quadTo(c, QPointF(c.x(), c.y() - r));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3D, 0xA5, 0xE0));
    p.drawPath(star);
  };
  sparkle(QPointF(18, 14), 10);
  sparkle(QPointF(40, 10), 6);
  sparkle(QPointF(52, 22), 7);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: draw_images <folder> <font file>\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QString family = QStringLiteral("Sans");
  const int font = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(argv[2]));
  if (font >= 0 && !QFontDatabase::applicationFontFamilies(font).isEmpty()) {
    family = QFontDatabase::applicationFontFamilies(font).first();
  }
  struct Picture {
    const char* name;
    QImage image;
  };
  const Picture pictures[] = {{"M48tz.png", ModelPicture()},       {"Scanner.png", GenericScanner()},
                              {"AppIcon2.png", AppIcon(family)},   {"QCConnector.png", Connector()},
                              {"QCLogo.png", Logo(family)},        {"CalibrateScanner.png", Calibrate()},
                              {"CleanScanner.png", Clean()}};
  for (const Picture& picture : pictures) {
    if (!picture.image.save(folder + QLatin1Char('/') + QLatin1String(picture.name))) {
      std::fprintf(stderr, "cannot write %s\n", picture.name);
      return 1;
    }
  }
  return 0;
}
