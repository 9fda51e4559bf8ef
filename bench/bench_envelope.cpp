// Envelope packing and unpacking of a 20 MB table-data text beside plain zlib on the same
// text, in the same run.
#include "sync/Envelope.h"
#include "sync/WireProtocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <zlib.h>

#include <cstdio>

namespace {

QByteArray TableText(qsizetype size)
{
    static const char* const words[] = {"Casa",
                                        "Departamento",
                                        "Olivos",
                                        "Martínez",
                                        "luminoso",
                                        "cochera",
                                        "parrilla",
                                        "Sarmiento, Domingo Faustino",
                                        "2026-11-30 09:30:00"};
    QRandomGenerator random(3);
    QByteArray text = R"({"DBVer":"812","Data_Type":"0","ServerTime":"2026-12-09 10:00:00","Tables":"W_Propiedades",)"
                      R"("W_Propiedades":{"Truncate":1,"Fields":"Prop_Codigo,Prop_Descripcion,Prop_Precio",)"
                      R"("Types":"int,text,real","Count":999999)";
    int row = 1;
    while (text.size() < size) {
        text += ",\"" + QByteArray::number(row) + "\":\"" + QByteArray::number(700000 + row) + "~";
        ++row;
        for (int w = 0; w < 12; ++w)
            text += QByteArray(words[random.bounded(int(std::size(words)))]) + ' ';
        text += "~" + QByteArray::number(random.bounded(30000, 900000)) + "\"";
    }
    return text + "}}";
}

double MBps(qsizetype bytes, qint64 ns)
{
    return ns > 0 ? (double(bytes) / 1048576.0) / (double(ns) / 1e9) : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray text = TableText(20 * 1024 * 1024);
    QElapsedTimer clock;

    QByteArray envelope;
    clock.start();
    PackEnvelope(QByteArray(Wire::ResponsePreambleLength, 'R'), text, envelope);
    const qint64 packNs = clock.nsecsElapsed();
    QByteArray back;
    clock.restart();
    const bool ok = UnpackEnvelope(envelope, Wire::ResponsePreambleLength, back);
    const qint64 unpackNs = clock.nsecsElapsed();

    uLongf bound = compressBound(uLong(text.size()));
    QByteArray raw(qsizetype(bound), Qt::Uninitialized);
    clock.restart();
    compress2(reinterpret_cast<Bytef*>(raw.data()), &bound, reinterpret_cast<const Bytef*>(text.constData()),
              uLong(text.size()), Z_BEST_COMPRESSION);
    const qint64 zipNs = clock.nsecsElapsed();
    raw.truncate(qsizetype(bound));
    QByteArray plain(text.size(), Qt::Uninitialized);
    uLongf plainSize = uLongf(plain.size());
    clock.restart();
    uncompress(reinterpret_cast<Bytef*>(plain.data()), &plainSize, reinterpret_cast<const Bytef*>(raw.constData()),
               uLong(raw.size()));
    const qint64 unzipNs = clock.nsecsElapsed();

    std::printf("text %.1f MB, envelope %.2f MB (ratio %.2f), raw zlib %.2f MB (ratio %.2f), round trip %s\n",
                text.size() / 1048576.0, envelope.size() / 1048576.0, double(text.size()) / envelope.size(),
                raw.size() / 1048576.0, double(text.size()) / raw.size(), ok && back == text ? "ok" : "FAILED");
    std::printf("encode envelope %8.1f MB/s   zlib compress2(9) %8.1f MB/s\n", MBps(text.size(), packNs),
                MBps(text.size(), zipNs));
    std::printf("decode envelope %8.1f MB/s   zlib uncompress   %8.1f MB/s\n", MBps(text.size(), unpackNs),
                MBps(text.size(), unzipNs));
    return ok && back == text ? 0 : 1;
}
