#include "ServiceClient.h"

#include "sync/Envelope.h"
#include "sync/WireProtocol.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

bool Reply::IsError() const
{
    return unpacked && IsErrorObject(answer);
}

QString Reply::ErrorText() const
{
    QString text;
    IsErrorObject(answer, &text);
    return text;
}

QString Reply::Text(const char* member) const
{
    if (!json.is_object() || !json.contains(member))
        return {};
    const auto& value = json[member];
    return value.is_string() ? QString::fromStdString(value.get<std::string>()) : QString::fromStdString(value.dump());
}

QByteArray ServiceClient::RequestText(TRequestKind kind, const Members& extras, const Credentials& who)
{
    const auto md5 = [](const QString& text) {
        return QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex().toUpper();
    };
    QList<QByteArray> members;
    const auto add = [&](const QString& name, const MemberValue& value) {
        QByteArray text = WireString(name) + ':';
        if (const auto* s = std::get_if<QString>(&value))
            text += WireString(*s);
        else if (const auto* i = std::get_if<qint64>(&value))
            text += QByteArray::number(*i);
        else
            text += QByteArray::number(std::get<double>(value), 'g', 15);
        members << text;
    };
    add(Wire::MAgency, qint64(who.agency));
    add(Wire::MUser, who.user);
    add(Wire::MPassword, QString::fromLatin1(md5(who.password)));
    add(Wire::MAppVersion, who.appVersion);
    add(Wire::MPlatform, u"Linux"_s);
    add(Wire::MArchitecture, u"IntelX64"_s);
    add(Wire::MOsVersion, u"Debian GNU/Linux 12"_s);
    add(Wire::MScreen, u"1920x1080"_s);
    add(Wire::MClientTime, QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s));
    add(Wire::MNonce, QString::fromLatin1(md5(QString::number(QRandomGenerator::global()->bounded(2147483647)))));
    if (kind != TRequestKind::rkTermsOfService && kind != TRequestKind::rkDatabaseFile) {
        add(Wire::MInstallKey, who.installKey);
        add(Wire::MAcceptedTerms, who.acceptedTerms);
    }
    add(Wire::MAction, ActionText(kind));
    for (const auto& [name, value] : extras)
        add(name, value);
    return '{' + members.join(',') + '}';
}

Reply ServiceClient::Call(TRequestKind kind, const Members& extras, const Credentials& who) const
{
    return CallText(RequestText(kind, extras, who));
}

Reply ServiceClient::CallText(const QByteArray& text) const
{
    QByteArray envelope;
    PackEnvelope(RequestPreamble(), text, envelope);
    return PostEnvelope(envelope);
}

Reply ServiceClient::PostEnvelope(const QByteArray& envelope) const
{
    const ServiceProcess::HttpReply http = m_service.PostForm(Wire::SyncPath, Wire::FormFieldName, envelope);
    Reply reply;
    reply.status = http.status;
    reply.unpacked = UnpackEnvelope(http.body, Wire::ResponsePreambleLength, reply.answer);
    if (reply.unpacked)
        reply.json = nlohmann::ordered_json::parse(reply.answer.begin(), reply.answer.end(), nullptr, false);
    return reply;
}
