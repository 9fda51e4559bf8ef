#include "service/Pictures.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>

#include <qrencode.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray PngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return bytes;
}

} // namespace

QByteArray QrPng(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(QRcode_encodeString8bit(utf8.constData(), 0, QR_ECLEVEL_M),
                                                         &QRcode_free);
    if (!code)
        return {};
    constexpr int scale = 8, quiet = 4;
    const int side = (code->width + 2 * quiet) * scale;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                for (int dy = 0; dy < scale; ++dy) {
                    uchar* line = image.scanLine((y + quiet) * scale + dy);
                    std::fill_n(line + (x + quiet) * scale, scale, uchar(0));
                }
    return PngBytes(image);
}

QByteArray DrawLogoPng(const QString& agencyName)
{
    QImage image(600, 96, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = QColor::fromHsv(int(qHash(agencyName) % 360), 150, 150);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(8, 8, 80, 80), 14, 14);
    QString initials;
    for (const QString& word : agencyName.split(u' ', Qt::SkipEmptyParts))
        if (initials.size() < 2 && word.at(0).isLetter())
            initials += word.at(0).toUpper();
    QFont font(u"DejaVu Sans"_s);
    font.setBold(true);
    font.setPixelSize(34);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(8, 8, 80, 80), Qt::AlignCenter, initials);
    font.setPixelSize(30);
    p.setFont(font);
    p.setPen(colour.darker(140));
    p.drawText(QRectF(104, 8, 488, 80), Qt::AlignVCenter | Qt::AlignLeft, agencyName);
    p.end();
    return PngBytes(image);
}

bool WriteHelpPdf(const QString& path, const QString& version)
{
    QPdfWriter writer(path);
    writer.setTitle(u"Korvel - Ayuda"_s);
    writer.setCreator(u"korvel-service"_s);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(150);
    QPainter p;
    if (!p.begin(&writer))
        return false;
    const QRect page = writer.pageLayout().paintRectPixels(writer.resolution());
    QFont title(u"DejaVu Sans"_s);
    title.setPointSize(20);
    title.setBold(true);
    QFont body(u"DejaVu Sans"_s);
    body.setPointSize(11);
    struct Section {
        QString heading, text;
    };
    const Section sections[] = {
        {u"Búsqueda de propiedades"_s,
         u"Elija los filtros de ubicación, tipo de edificación, operación y precio y presione Buscar. "
         u"Los resultados pueden verse en tres presentaciones y ordenarse por cualquier columna."_s},
        {u"Propiedades propias"_s,
         u"Desde la ficha de una propiedad de su inmobiliaria puede modificarla, suspenderla, darla de baja, "
         u"copiarla y administrar sus fotografías. Los cambios se envían en la próxima actualización."_s},
        {u"Selecciones y marcas"_s,
         u"Marque propiedades para reunirlas y guárdelas como una selección para un cliente. Las selecciones "
         u"pueden compartirse con otros usuarios de la inmobiliaria."_s},
        {u"Actualización"_s,
         u"La sección Actualizar envía los cambios pendientes y recibe las novedades del servicio. Si el "
         u"servicio lo solicita, ingrese la clave de validación de su inmobiliaria."_s},
        {u"Reportes"_s,
         u"Los reportes pueden imprimirse, guardarse como RTF, enviarse por e-mail o publicarse como página "
         u"web con su código QR."_s},
    };
    int y = page.top();
    p.setFont(title);
    p.drawText(QRect(page.left(), y, page.width(), 80), Qt::AlignLeft | Qt::AlignVCenter,
               u"Korvel Interinmobiliario - Ayuda"_s);
    y += 90;
    p.setFont(body);
    p.drawText(QRect(page.left(), y, page.width(), 40), Qt::AlignLeft, u"Versión del documento: "_s + version);
    y += 70;
    for (const Section& s : sections) {
        QFont heading = body;
        heading.setBold(true);
        heading.setPointSize(13);
        p.setFont(heading);
        p.drawText(QRect(page.left(), y, page.width(), 50), Qt::AlignLeft, s.heading);
        y += 50;
        p.setFont(body);
        const QRect box(page.left(), y, page.width(), 400);
        const QRect used = p.boundingRect(box, Qt::TextWordWrap, s.text);
        p.drawText(box, Qt::TextWordWrap, s.text);
        y += used.height() + 40;
    }
    return p.end();
}
