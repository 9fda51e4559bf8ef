#include "service/Requests.h"

#include "core/Config.h"
#include "service/MasterStore.h"
#include "service/Pictures.h"
#include "service/ProgramRelease.h"
#include "service/Seed.h"
#include "service/ServiceText.h"
#include "service/TableData.h"
#include "service/Upload.h"
#include "sync/Envelope.h"
#include "sync/SyncTypes.h"
#include "sync/WireProtocol.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;
using json = nlohmann::ordered_json;
using namespace ServiceText;

namespace {

// A refusal: the client receives the error object with this text.
struct TRefusal {
    QString text;
};

[[noreturn]] void Refuse(const QString& text)
{
    throw TRefusal{text};
}

QByteArray Dump(const json& object)
{
    // Pure ASCII: the client reads answers as ASCII bytes, so anything else must travel as
    // a \u escape.
    return QByteArray::fromStdString(object.dump(-1, ' ', true, json::error_handler_t::replace));
}

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

QString Base64(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

const QString kWrongCredentials = u"Usuario o contraseña incorrectos."_s;
const QString kUserDisabled = u"El usuario no está habilitado para usar el sistema."_s;
const QString kReadOnlyUser = ServiceText::ReadOnlyUser();

enum class TType { String, Integer, Number };

struct TMember {
    const QString* name;
    TType type;
};

// The members each kind sends besides the common ones, checked for presence and type.
std::vector<TMember> ExtraMembers(TRequestKind kind)
{
    using K = TRequestKind;
    const auto S = TType::String;
    const auto I = TType::Integer;
    const auto N = TType::Number;
    switch (kind) {
    case K::rkTermsOfService:
        return {{&Wire::MAppName, S}, {&Wire::MTermsVersion, N}};
    case K::rkFullData:
    case K::rkIncrementalData:
        return {{&Wire::MMode, I}, {&Wire::MDataVersion, I}};
    case K::rkUploadChanges:
        return {{&Wire::MPayload, S}};
    case K::rkPhotos:
        return {{&Wire::MItemCode, I}, {&Wire::MPhotoList, S}};
    case K::rkPropertyQR:
    case K::rkPropertyRecovery:
        return {{&Wire::MItemCode, I}};
    case K::rkValidationKey:
        return {{&Wire::MValidationKey, S}};
    case K::rkReportPayment:
        return {{&Wire::MPayDate, S},
                {&Wire::MPayType, S},
                {&Wire::MPayBranch, S},
                {&Wire::MPayBank, S},
                {&Wire::MPayAmount, S}};
    case K::rkShareLink:
        return {{&Wire::MItemCode, I}, {&Wire::MChannel, I}};
    case K::rkDenounceProperty:
        return {{&Wire::MItemCode, I}, {&Wire::MBody, S}};
    case K::rkMailReport:
    case K::rkWebReport:
        return {{&Wire::MMailTo, S},       {&Wire::MSubject, S},  {&Wire::MBody, S},      {&Wire::MReportOptions, S},
                {&Wire::MPropertyList, S}, {&Wire::MSendCopy, I}, {&Wire::MReportFlag, I}};
    case K::rkHelpFile:
        return {{&Wire::MHelpVersion, N}};
    case K::rkChangeCredentials:
        return {{&Wire::MValidationKey, S}, {&Wire::MUserCode, I}, {&Wire::MNewUserName, S}, {&Wire::MNewPassword, S}};
    case K::rkVisitRequest:
        return {{&Wire::MItemCode, I},    {&Wire::MVisitAddress, S}, {&Wire::MVisitWhen, S},
                {&Wire::MVisitSeller, S}, {&Wire::MVisitClient, S},  {&Wire::MVisitBody, S}};
    default:
        return {};
    }
}

bool SendsInstallation(TRequestKind kind)
{
    return kind != TRequestKind::rkTermsOfService && kind != TRequestKind::rkDatabaseFile;
}

// Dotted version texts compared part by part as numbers: "3.10" is newer than "3.9".
int CompareVersions(const QString& a, const QString& b)
{
    const QStringList pa = a.trimmed().split(u'.'), pb = b.trimmed().split(u'.');
    for (qsizetype i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        const int x = i < pa.size() ? pa[i].toInt() : 0, y = i < pb.size() ? pb[i].toInt() : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

QString ReadTextFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The first regular file of a folder, in name order, other than the version note.
QString FirstFile(const QString& folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names)
        if (name != u"version.txt"_s)
            return folder + u'/' + name;
    return {};
}

QString RandomToken()
{
    QString token;
    for (int i = 0; i < 3; ++i)
        token += QString::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, u'0');
    return token;
}

// "525,00", "1.525,50", "525" or "525.5": a positive amount of pesos; -1 when it is none.
double ParseAmount(const QString& text)
{
    QString t = text.trimmed();
    t.remove(u'$').remove(u' ');
    static const QRegularExpression regional(u"^\\d{1,3}(\\.\\d{3})*(,\\d{1,2})?$|^\\d+(,\\d{1,2})?$"_s);
    static const QRegularExpression dotted(u"^\\d+(\\.\\d{1,2})?$"_s);
    if (regional.match(t).hasMatch()) {
        t.remove(u'.').replace(u',', u'.');
    } else if (!dotted.match(t).hasMatch()) {
        return -1;
    }
    bool ok = false;
    const double value = t.toDouble(&ok);
    return ok && value > 0 ? value : -1;
}

QDate ParseDate(const QString& text)
{
    const QString t = text.trimmed();
    for (const QString& format : {u"dd/MM/yyyy"_s, u"d/M/yyyy"_s, u"yyyy-MM-dd"_s, u"dd-MM-yyyy"_s}) {
        const QDate date = QDate::fromString(t.left(format.size() + 2).trimmed(), format);
        if (date.isValid())
            return date;
    }
    return QDateTime::fromString(t, u"yyyy-MM-dd HH:mm:ss"_s).date();
}

bool IsEmailAddress(const QString& text)
{
    static const QRegularExpression form(u"^[A-Za-z0-9._%+\\-]+@[A-Za-z0-9\\-]+(\\.[A-Za-z0-9\\-]+)+$"_s);
    return form.match(text).hasMatch();
}

struct TCaller {
    int agency = 0;
    QString agencyName, agencyEmail, agencyPhone;
    qint64 user = 0;
    QString login, name, email, digest;
    int role = 0;
    bool enabled = false;
    QString installKey;
};

struct TProperty {
    qint64 code = 0;
    int agency = 0;
    bool isPublic = false, current = false, active = false, onWeb = false;
};

} // namespace

// One request being answered.
class TRequest {
public:
    TRequest(TRequestHandler& handler, const json& object, const QString& remote, const QString& base)
        : m_handler(handler), m_store(handler.m_store), m_db(handler.m_store.Db()), m_o(object), m_remote(remote),
          m_base(base)
    {}

    TAnswer Run();

private:
    // --- members --------------------------------------------------------------------------------
    const json& Member(const QString& name, TType type) const;
    QString Text(const QString& name) const
    {
        return QString::fromStdString(Member(name, TType::String).get<std::string>());
    }
    qint64 Integer(const QString& name) const { return Member(name, TType::Integer).get<qint64>(); }
    double Number(const QString& name) const { return Member(name, TType::Number).get<double>(); }
    void CheckMembers(TRequestKind kind) const;

    // --- who is asking ------------------------------------------------------------------------
    void LoadAgency();
    bool LoadUser(); // false when the name is unknown or the password wrong
    void Authenticate(TRequestKind kind);
    TProperty Property(qint64 code);
    TProperty OwnProperty(qint64 code);
    void RequireWriter() const;

    // --- the kinds -------------------------------------------------------------------------------
    QByteArray Terms();
    QByteArray SessionCheck();
    QByteArray DatabaseFile();
    QByteArray VersionInfo();
    QByteArray ProgramDownload();
    QByteArray TableData(bool full);
    QByteArray Upload();
    QByteArray Photos();
    QByteArray AgencyLogo();
    QByteArray PropertyQr();
    QByteArray ServiceStatus(const QString& status, bool validationRequired);
    QByteArray Status();
    QByteArray Validate();
    QByteArray Statement();
    QByteArray Payment();
    QByteArray ShareLink();
    QByteArray Denounce();
    QByteArray Recovery();
    QByteArray Report(bool web);
    QByteArray HelpFile();
    QByteArray ChangeCredentials();
    QByteArray VisitRequest();

    QString CurrentVersion() const;
    QString PropertyUrl(qint64 code) const { return m_base + u"/p/"_s + QString::number(code); }
    QByteArray Msg(const QString& text = {}) const { return Dump(json{{"Msg", Utf8(text)}}); }
    void WriteOutboxMail(const QString& to, const QString& cc, const QString& subject, const QString& body);

    TRequestHandler& m_handler;
    TMasterStore& m_store;
    TServiceDb& m_db;
    const json& m_o;
    QString m_remote, m_base;
    TCaller m_caller;
    QString m_note;
};

const json& TRequest::Member(const QString& name, TType type) const
{
    const auto it = m_o.find(Utf8(name));
    if (it == m_o.end())
        Refuse(u"Faltan datos en la solicitud (%1)."_s.arg(name));
    const bool ok = type == TType::String    ? it->is_string()
                    : type == TType::Integer ? it->is_number_integer()
                                             : it->is_number();
    if (!ok)
        Refuse(u"El dato %1 de la solicitud no es válido."_s.arg(name));
    return *it;
}

void TRequest::CheckMembers(TRequestKind kind) const
{
    Member(Wire::MAgency, TType::Integer);
    for (const QString* name :
         {&Wire::MUser, &Wire::MPassword, &Wire::MAppVersion, &Wire::MPlatform, &Wire::MArchitecture, &Wire::MOsVersion,
          &Wire::MScreen, &Wire::MClientTime, &Wire::MNonce})
        Member(*name, TType::String);
    if (SendsInstallation(kind)) {
        Member(Wire::MInstallKey, TType::String);
        Member(Wire::MAcceptedTerms, TType::Number);
    }
    for (const TMember& m : ExtraMembers(kind))
        Member(*m.name, m.type);
}

void TRequest::LoadAgency()
{
    const qint64 agency = Integer(Wire::MAgency);
    TStatement s(m_db.Handle(), u"SELECT `Inmo_Nombre`, `Inmo_email`, `Inmo_Te`, `Inmo_FechaBaja`, "
                                u"`Inmo_FechaReingreso` FROM `W_Inmobiliarias` WHERE `Inmo_Codigo`=?;"_s);
    s.Bind(agency);
    if (agency <= 0 || agency > 21474 || !s.Step())
        Refuse(u"La inmobiliaria %1 no está registrada en el servicio."_s.arg(agency));
    // An agency that left (and did not come back) is no longer served.
    const QString left = s.Text(3), back = s.Text(4);
    if (!left.isEmpty() && (back.isEmpty() || back < left))
        Refuse(u"La inmobiliaria %1 no está activa en el servicio."_s.arg(agency));
    m_caller.agency = int(agency);
    m_caller.agencyName = s.Text(0);
    m_caller.agencyEmail = s.Text(1);
    m_caller.agencyPhone = s.Text(2);
}

bool TRequest::LoadUser()
{
    const QString login = Text(Wire::MUser).trimmed().toLower();
    const QString digest = Text(Wire::MPassword).trimmed();
    TStatement s(m_db.Handle(),
                 u"SELECT `Usuario_Codigo`, `Usuario_Nombre`, `Usuario_email`, `Usuario_Password`, "
                 u"`Usuario_Perfil`, `Usuario_Activo`, `Usuario_Estado` FROM `W_Usuarios` "
                 u"WHERE `Inmo_Codigo`=? AND lower(`Usuario_Login`)=? ORDER BY `Usuario_Activo` DESC;"_s);
    s.BindAll({m_caller.agency, login});
    if (login.isEmpty() || !s.Step())
        return false;
    const QString stored = s.Text(3);
    if (stored.isEmpty() || stored.compare(digest, Qt::CaseInsensitive) != 0)
        return false;
    m_caller.user = s.Int(0);
    m_caller.login = login;
    m_caller.name = s.Text(1);
    m_caller.email = s.Text(2);
    m_caller.digest = stored;
    m_caller.role = int(s.Int(4));
    const QString state = s.Text(6).trimmed().toUpper();
    m_caller.enabled = s.Int(5) == 1 && (state.isEmpty() || state == u"OK"_s || state == u"AM"_s);
    return true;
}

void TRequest::Authenticate(TRequestKind kind)
{
    LoadAgency();
    if (SendsInstallation(kind)) {
        m_caller.installKey = Text(Wire::MInstallKey).trimmed();
        if (!m_store.InstallKeyBelongsTo(m_caller.installKey, m_caller.agency))
            Refuse(u"La clave de instalación no corresponde a esta inmobiliaria. Reinstale el sistema."_s);
        m_store.TouchInstallKey(m_caller.installKey, m_remote);
    }
    if (kind == TRequestKind::rkSessionCheck)
        return; // the session check answers with a status instead
    if (!LoadUser())
        Refuse(kWrongCredentials);
    if (!m_caller.enabled)
        Refuse(kUserDisabled);
}

TProperty TRequest::Property(qint64 code)
{
    TStatement s(m_db.Handle(), u"SELECT `Inmo_Codigo`, `Prop_Publica`, `Prop_Estado`, `Standby_Codigo`, "
                                u"`publicarEnKorvel` FROM `W_Propiedades` WHERE `Prop_Codigo`=?;"_s);
    s.Bind(code);
    if (code <= 0 || IsLocalCode(code) || !s.Step())
        Refuse(u"La propiedad %1 no existe en el servicio."_s.arg(IsLocalCode(code) || code <= 0 ? QString::number(code)
                                                                                                 : Code(code)));
    // Another agency's private listing is not in the pool: for this caller it does not exist.
    if (s.Int(0) != m_caller.agency && s.Int(1) != 1)
        Refuse(u"La propiedad %1 no existe en el servicio."_s.arg(Code(code)));
    TProperty p;
    p.code = code;
    p.agency = int(s.Int(0));
    p.isPublic = s.Int(1) == 1;
    p.current = s.Int(2) == 2;
    p.active = s.IsNull(3) || s.Int(3) == 1;
    p.onWeb = s.Int(4) == 1;
    return p;
}

TProperty TRequest::OwnProperty(qint64 code)
{
    const TProperty p = Property(code);
    if (p.agency != m_caller.agency)
        Refuse(u"La propiedad %1 no pertenece a su inmobiliaria."_s.arg(Code(code)));
    return p;
}

void TRequest::RequireWriter() const
{
    if (m_caller.role == 2)
        Refuse(kReadOnlyUser);
}

TAnswer TRequest::Run()
{
    TAnswer answer;
    answer.action = u"?"_s;
    try {
        if (!m_o.is_object())
            Refuse(u"La solicitud no tiene un formato válido."_s);
        const QString action = Text(Wire::MAction);
        answer.action = action;
        const std::optional<TRequestKind> kind = KindOfAction(action);
        if (!kind)
            Refuse(u"La acción solicitada (%1) no existe."_s.arg(action.left(40)));
        CheckMembers(*kind);
        if (m_o.contains(Utf8(Wire::MAgency)))
            answer.agency = int(Integer(Wire::MAgency));

        std::lock_guard lock(m_db.Mutex());
        Authenticate(*kind);
        using K = TRequestKind;
        switch (*kind) {
        case K::rkTermsOfService:
            answer.body = Terms();
            break;
        case K::rkSessionCheck:
            answer.body = SessionCheck();
            break;
        case K::rkDatabaseFile:
            answer.body = DatabaseFile();
            break;
        case K::rkVersionInfo:
            answer.body = VersionInfo();
            break;
        case K::rkProgramDownload:
            answer.body = ProgramDownload();
            break;
        case K::rkFullData:
            answer.body = TableData(true);
            answer.packed = true;
            break;
        case K::rkIncrementalData:
            answer.body = TableData(false);
            answer.packed = true;
            break;
        case K::rkUploadChanges:
            answer.body = Upload();
            break;
        case K::rkPhotos:
            answer.body = Photos();
            break;
        case K::rkAgencyLogo:
            answer.body = AgencyLogo();
            break;
        case K::rkPropertyQR:
            answer.body = PropertyQr();
            break;
        case K::rkServiceStatus:
            answer.body = Status();
            break;
        case K::rkValidationKey:
            answer.body = Validate();
            break;
        case K::rkAccountStatement:
            answer.body = Statement();
            break;
        case K::rkReportPayment:
            answer.body = Payment();
            break;
        case K::rkShareLink:
            answer.body = ShareLink();
            break;
        case K::rkDenounceProperty:
            answer.body = Denounce();
            break;
        case K::rkPropertyRecovery:
            answer.body = Recovery();
            break;
        case K::rkMailReport:
            answer.body = Report(false);
            break;
        case K::rkWebReport:
            answer.body = Report(true);
            break;
        case K::rkHelpFile:
            answer.body = HelpFile();
            break;
        case K::rkChangeCredentials:
            answer.body = ChangeCredentials();
            break;
        case K::rkVisitRequest:
            answer.body = VisitRequest();
            break;
        }
        answer.note = m_note;
    } catch (const TRefusal& refusal) {
        answer.body = TRequestHandler::ErrorObject(refusal.text);
        answer.refused = true;
        answer.note = refusal.text;
    } catch (const nlohmann::json::exception& e) {
        answer.body = TRequestHandler::ErrorObject(u"La solicitud no tiene un formato válido."_s);
        answer.refused = true;
        answer.note = QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        answer.body = TRequestHandler::ErrorObject(u"Error interno del servicio. Intente nuevamente más tarde."_s);
        answer.refused = true;
        answer.note = u"internal error: "_s + QString::fromUtf8(e.what());
    }
    return answer;
}

// --- the kinds ---------------------------------------------------------------------------------

QByteArray TRequest::Terms()
{
    TStatement s(m_db.Handle(), u"SELECT `TOS_Version`, `TOS_Fecha`, `TOS_Texto` FROM `S_Terminos` "
                                u"ORDER BY `TOS_Version` DESC LIMIT 1;"_s);
    if (!s.Step())
        Refuse(u"El servicio no tiene términos y condiciones publicados."_s);
    json answer;
    answer["TOS_Version"] = s.Real(0);
    answer["TOS_Date"] = Utf8(s.Text(1));
    answer["TOS_Text"] = Utf8(s.Text(2));
    answer["User_Name"] = Utf8(m_caller.name);
    answer["ServerTime"] = Utf8(TMasterStore::Now());
    m_note = u"version "_s + QString::number(s.Real(0));
    return Dump(answer);
}

QByteArray TRequest::SessionCheck()
{
    // 9: the service cannot confirm these credentials, so the client checks its own copy;
    // any other status with a message refuses the login outright.
    int status = 0;
    QString message;
    if (!LoadUser()) {
        status = 9;
        message = kWrongCredentials;
    } else if (!m_caller.enabled) {
        status = 1;
        message = kUserDisabled;
    }
    m_note = u"status "_s + QString::number(status);
    json answer;
    answer[Utf8(Wire::ASessionStatus)] = status;
    answer[Utf8(Wire::ASessionMessage)] = Utf8(message);
    return Dump(answer);
}

QByteArray TRequest::DatabaseFile()
{
    if (m_caller.role != 3)
        Refuse(u"Solo el usuario administrador de la inmobiliaria puede instalar el sistema."_s);
    const QString key =
        m_store.IssueInstallKey(m_caller.agency, m_caller.user, Text(Wire::MPlatform), Text(Wire::MOsVersion));
    QDir().mkpath(m_store.FilePath(u"tmp"_s));
    const QString path = m_store.FilePath(u"tmp/"_s + key + u".kdb"_s);
    QString error;
    if (!BuildAgencyDatabase(path, m_caller.agency, key, &error))
        throw std::runtime_error(error.toStdString());
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    file.close();
    QFile::remove(path);
    if (bytes.isEmpty())
        throw std::runtime_error("the installation database could not be read back");
    m_note = u"installation "_s + key;
    return bytes;
}

QString TRequest::CurrentVersion() const
{
    const QString text = ReadTextFile(m_store.FilePath(u"program/version.txt"_s));
    const QString first = text.section(u'\n', 0, 0).trimmed();
    return first.isEmpty() ? Config::AppVersion : first;
}

QByteArray TRequest::VersionInfo()
{
    const QString text = ReadTextFile(m_store.FilePath(u"program/version.txt"_s));
    json answer;
    answer["CurrentVersion"] = Utf8(CurrentVersion());
    answer["ChangeLog"] = Utf8(text.section(u'\n', 1).trimmed());
    // The signature of the build this caller's platform downloads; "" when it is unsigned.
    const QString platform = Text(Wire::MPlatform).trimmed();
    static const QRegularExpression safeName(u"^[A-Za-z0-9]{1,32}$"_s);
    const QString signature = safeName.match(platform).hasMatch()
                                  ? ReadTextFile(SignatureFilePath(m_store.DataFolder(), platform)).trimmed().left(256)
                                  : QString();
    answer["Signature"] = Utf8(signature);
    return Dump(answer);
}

QByteArray TRequest::ProgramDownload()
{
    const QString current = CurrentVersion();
    if (CompareVersions(Text(Wire::MAppVersion), current) >= 0)
        Refuse(Wire::NoUpdateNeeded);
    const QString platform = Text(Wire::MPlatform).trimmed();
    static const QRegularExpression safeName(u"^[A-Za-z0-9]{1,32}$"_s);
    const QString path =
        safeName.match(platform).hasMatch() ? FirstFile(m_store.FilePath(u"program/"_s + platform)) : QString();
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        Refuse(u"No hay una versión %1 del programa disponible para esta plataforma."_s.arg(current));
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        Refuse(u"No hay una versión %1 del programa disponible para esta plataforma."_s.arg(current));
    m_note = u"version "_s + current;
    return bytes;
}

QByteArray TRequest::TableData(bool full)
{
    const qint64 mode = Integer(Wire::MMode);
    if (mode != (full ? 0 : 1))
        Refuse(u"El modo de la solicitud de datos no es válido."_s);
    const qint64 version = Integer(Wire::MDataVersion);
    m_note = u"from version "_s + QString::number(version);
    return PackedTableData(m_store, m_caller.agency, full, version, ResponsePreamble());
}

QByteArray TRequest::Upload()
{
    if (!m_store.InstallKeyValidated(m_caller.installKey))
        Refuse(u"Esta instalación no está validada. Ingrese la clave de validación de su inmobiliaria "
               u"en la sección Actualizar."_s);
    const TUploadOutcome outcome = ApplyUpload(m_store, {m_caller.agency, m_caller.role},
                                               Member(Wire::MPayload, TType::String).get_ref<const std::string&>());
    if (!outcome.accepted)
        Refuse(outcome.error);
    m_note = outcome.message + u" version "_s + QString::number(outcome.version);
    return Msg(outcome.message);
}

QByteArray TRequest::Photos()
{
    const qint64 item = Integer(Wire::MItemCode);
    QStringList codes;
    for (const QString& part : Text(Wire::MPhotoList).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 code = part.trimmed().toLongLong(&ok);
        if (!ok)
            Refuse(u"La lista de fotos pedidas no es válida."_s);
        if (codes.size() < 5000)
            codes << QString::number(code);
    }
    // Only photos of listings the agency may see.
    QString sql = u"SELECT `Prop_Codigo`, `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` IN (SELECT `Prop_Codigo` "
                  u"FROM `W_Propiedades` WHERE `Inmo_Codigo`=? OR `Prop_Publica`=1) AND "_s;
    std::vector<QVariant> values{m_caller.agency};
    if (!codes.isEmpty()) {
        sql += u"`Foto_Codigo` IN (%1)"_s.arg(codes.join(u','));
    } else if (item > 0) {
        sql += u"`Prop_Codigo`=?"_s;
        values.push_back(item);
    } else {
        sql += u"0"_s;
    }
    sql += u" ORDER BY `Prop_Codigo`, `Foto_Orden`, `Foto_Codigo`;"_s;
    TStatement s(m_db.Handle(), sql);
    s.BindAll(values);
    json answer;
    answer["Count"] = 0;
    int count = 0;
    // The client reads the count as one byte: an answer carries at most 255 files and the
    // client asks again for the ones still missing.
    while (count < 255 && s.Step()) {
        QFile file(m_store.PhotoPath(s.Int(0), s.Int(1)));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        ++count;
        answer["f" + std::to_string(count)] = Utf8(u"w_%1_%2.jpg"_s.arg(s.Int(0)).arg(s.Int(1)));
        answer["d" + std::to_string(count)] = Utf8(Base64(file.readAll()));
    }
    answer["Count"] = count;
    m_note = QString::number(count) + u" photos"_s;
    return Dump(answer);
}

QByteArray TRequest::AgencyLogo()
{
    QFile file(m_store.LogoPath(m_caller.agency));
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    m_note = bytes.isEmpty() ? u"no logo"_s : u"logo"_s;
    return Dump(json{{"Logo", Utf8(Base64(bytes))}});
}

QByteArray TRequest::PropertyQr()
{
    const TProperty p = OwnProperty(Integer(Wire::MItemCode));
    const QByteArray png = QrPng(PropertyUrl(p.code));
    if (png.isEmpty())
        throw std::runtime_error("QR encoding failed");
    return Dump(json{{"QR", Utf8(Base64(png))}});
}

QByteArray TRequest::ServiceStatus(const QString& status, bool validationRequired)
{
    QString notice;
    const double balance =
        m_db.Scalar(u"SELECT `Pago_Saldo` FROM `S_Cuentas` WHERE `Inmo_Codigo`=?;"_s, {m_caller.agency}, 0.0)
            .toDouble();
    if (balance > 0.005)
        notice = u"Su cuenta registra un saldo pendiente de %1."_s.arg(Money(balance));
    json answer;
    answer[Utf8(Wire::AStatusPublicAddress)] = Utf8(m_remote);
    answer[Utf8(Wire::AStatusText)] = Utf8(status);
    answer[Utf8(Wire::AStatusServerTime)] = Utf8(TMasterStore::Now());
    answer[Utf8(Wire::AStatusVersion)] = Utf8(CurrentVersion());
    answer[Utf8(Wire::AStatusNotice)] = Utf8(notice);
    answer[Utf8(Wire::AStatusValidationRequired)] = validationRequired;
    m_note = status;
    return Dump(answer);
}

QByteArray TRequest::Status()
{
    if (m_store.InstallKeyValidated(m_caller.installKey))
        return ServiceStatus(Wire::StatusAccepted, false);
    return ServiceStatus(u"Para enviar cambios, valide esta instalación con la clave de validación de su "
                         u"inmobiliaria."_s,
                         true);
}

QByteArray TRequest::Validate()
{
    const QString installation = m_caller.installKey;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    {
        std::lock_guard lock(m_handler.m_attemptsMutex);
        auto& [failures, since] = m_handler.m_validationAttempts[installation];
        if (now - since > 900)
            failures = 0, since = now;
        // Guessing a key of eight characters must not be a matter of patience.
        if (failures >= 5)
            return ServiceStatus(u"Demasiados intentos fallidos. Espere 15 minutos e intente nuevamente."_s, true);
    }
    const QString digest = Text(Wire::MValidationKey);
    const bool adminKey =
        !m_handler.m_options.adminKey.isEmpty() &&
        Md5Upper(m_handler.m_options.adminKey.trimmed().toUpper()).compare(digest.trimmed(), Qt::CaseInsensitive) == 0;
    if (!adminKey && !m_store.ValidationKeyMatches(m_caller.agency, digest)) {
        std::lock_guard lock(m_handler.m_attemptsMutex);
        auto& [failures, since] = m_handler.m_validationAttempts[installation];
        if (failures++ == 0)
            since = now;
        return ServiceStatus(u"La clave de validación no es correcta."_s, true);
    }
    m_store.ValidateInstallKey(installation);
    return ServiceStatus(Wire::StatusAcceptedWithNotice, false);
}

QByteArray TRequest::Statement()
{
    TStatement s(m_db.Handle(),
                 u"SELECT `Pago_Fecha`, `Pago_Importe`, `Pago_Hasta`, `Pago_Saldo`, `Pago_Descuento`, "
                 u"`Pago_Nota`, `Pago_IVA`, `Pago_LastUpdate` FROM `S_Cuentas` WHERE `Inmo_Codigo`=?;"_s);
    s.Bind(m_caller.agency);
    if (!s.Step())
        Refuse(u"No hay un estado de cuenta disponible para su inmobiliaria."_s);
    const auto date = [](const QString& text) {
        const QDateTime value = QDateTime::fromString(text.left(10), u"yyyy-MM-dd"_s);
        return value.isValid() ? value.toString(u"dd/MM/yyyy"_s) : text;
    };
    static const char* const months[] = {"Enero", "Febrero", "Marzo",      "Abril",   "Mayo",      "Junio",
                                         "Julio", "Agosto",  "Septiembre", "Octubre", "Noviembre", "Diciembre"};
    const QDate until = QDate::fromString(s.Text(2).left(10), u"yyyy-MM-dd"_s);
    const QDateTime updated = QDateTime::fromString(s.Text(7), u"yyyy-MM-dd HH:mm:ss"_s);
    json answer;
    answer["Pago_Hasta"] =
        Utf8(until.isValid() ? QString::fromLatin1(months[until.month() - 1]) + u' ' + QString::number(until.year())
                             : s.Text(2));
    answer["Pago_Fecha"] = Utf8(date(s.Text(0)));
    answer["Pago_Importe"] = Utf8(Money(s.Real(1)));
    answer["Pago_Saldo"] = Utf8(Money(s.Real(3)));
    answer["Pago_Descuento"] = Utf8(s.Text(4));
    answer["Pago_Nota"] = Utf8(s.Text(5));
    answer["Pago_IVA"] = Utf8(s.Text(6));
    answer["Pago_LastUpdate"] = Utf8(updated.isValid() ? updated.toString(u"dd/MM/yyyy HH:mm"_s) : s.Text(7));
    return Dump(answer);
}

QByteArray TRequest::Payment()
{
    const QString type = Text(Wire::MPayType).trimmed(), bank = Text(Wire::MPayBank).trimmed();
    const QString branch = Text(Wire::MPayBranch).trimmed(), amountText = Text(Wire::MPayAmount).trimmed();
    const QDate date = ParseDate(Text(Wire::MPayDate));
    if (!date.isValid() || date > QDate::currentDate().addDays(1) || date < QDate(1992, 8, 1))
        Refuse(u"La fecha del pago no es válida."_s);
    if (type != u"Depósito"_s && type != u"Transferencia"_s)
        Refuse(u"La forma de pago no es válida."_s);
    if (branch.isEmpty() || branch.size() > 128 || bank.isEmpty() || bank.size() > 64)
        Refuse(u"Complete los datos del banco y la sucursal."_s);
    const double amount = ParseAmount(amountText);
    if (amount <= 0 || amount > 99999999)
        Refuse(u"El importe informado no es válido."_s);
    TStatement s(m_db.Handle(), u"INSERT INTO `S_Pagos` (`Inmo_Codigo`, `Usuario_Codigo`, `Pago_Fecha`, `Pago_Tipo`, "
                                u"`Pago_Sucursal`, `Pago_Banco`, `Pago_Importe`, `Pago_Informado`, `Pago_Estado`) "
                                u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, 'Informado');"_s);
    s.BindAll({m_caller.agency, m_caller.user, date.toString(u"yyyy-MM-dd"_s), type, branch, bank, amount,
               TMasterStore::Now()})
        .Run();
    m_note = u"payment "_s + Money(amount);
    return Msg();
}

QByteArray TRequest::ShareLink()
{
    const TProperty p = OwnProperty(Integer(Wire::MItemCode));
    const qint64 channel = Integer(Wire::MChannel) & 0xFF;
    if (channel != 6 && channel != 11 && channel != 16 && channel != 18)
        Refuse(u"El canal para compartir no es válido."_s);
    if (!p.isPublic || !p.current || !p.active)
        Refuse(u"Solo pueden compartirse las propiedades públicas, vigentes y activas."_s);
    if (channel == 18 && !p.onWeb)
        Refuse(u"La propiedad no está publicada en el sitio web."_s);
    TStatement s(m_db.Handle(), u"INSERT INTO `S_Compartidos` (`Prop_Codigo`, `Inmo_Codigo`, `Comp_Canal`, "
                                u"`Comp_Fecha`) VALUES (?, ?, ?, ?);"_s);
    s.BindAll({p.code, m_caller.agency, channel, TMasterStore::Now()}).Run();
    // Encoded: the client puts the link into the query of a network's share page as it is,
    // and decodes it itself before opening the web view.
    const QString url = PropertyUrl(p.code) + u"?c="_s + QString::number(channel);
    return Dump(json{{"URL", Utf8(QString::fromLatin1(QUrl::toPercentEncoding(url)))}});
}

QByteArray TRequest::Denounce()
{
    const TProperty p = Property(Integer(Wire::MItemCode));
    if (p.agency == m_caller.agency)
        Refuse(u"No puede denunciar una propiedad de su propia inmobiliaria."_s);
    const QString reason = Text(Wire::MBody).trimmed();
    if (reason.size() < 15 || reason.size() > 4096)
        Refuse(u"El motivo de la denuncia debe tener entre 15 y 4096 caracteres."_s);
    TStatement s(m_db.Handle(), u"INSERT INTO `S_Denuncias` (`Prop_Codigo`, `Inmo_Codigo`, `Usuario_Codigo`, "
                                u"`Den_Motivo`, `Den_Fecha`) VALUES (?, ?, ?, ?, ?);"_s);
    s.BindAll({p.code, m_caller.agency, m_caller.user, reason, TMasterStore::Now()}).Run();
    m_note = u"property "_s + Code(p.code);
    return Msg();
}

QByteArray TRequest::Recovery()
{
    RequireWriter();
    const TProperty p = OwnProperty(Integer(Wire::MItemCode));
    if (p.current)
        Refuse(u"La propiedad %1 no está dada de baja."_s.arg(Code(p.code)));
    TServiceDb::Transaction transaction(m_db);
    TStatement update(m_db.Handle(), u"UPDATE `W_Propiedades` SET `Prop_Estado`=2, `Baja_Codigo`=1, "
                                     u"`Prop_FechaMod`=? WHERE `Prop_Codigo`=?;"_s);
    update.BindAll({TMasterStore::Now(), p.code}).Run();
    TStatement record(m_db.Handle(), u"INSERT INTO `S_Recuperaciones` (`Prop_Codigo`, `Inmo_Codigo`, "
                                     u"`Usuario_Codigo`, `Rec_Fecha`) VALUES (?, ?, ?, ?);"_s);
    record.BindAll({p.code, m_caller.agency, m_caller.user, TMasterStore::Now()}).Run();
    const qint64 version = m_store.RecordChanges({{u"W_Propiedades"_s, p.code, -1}});
    transaction.Commit();
    m_note = u"property "_s + Code(p.code) + u" recovered, version "_s + QString::number(version);
    return Msg();
}

QByteArray TRequest::Report(bool web)
{
    const QString to = Text(Wire::MMailTo).trimmed(), subject = Text(Wire::MSubject).trimmed();
    const QString body = Text(Wire::MBody).trimmed(), options = Text(Wire::MReportOptions).trimmed();
    const bool copy = Integer(Wire::MSendCopy) == 1, flag = Integer(Wire::MReportFlag) == 1;
    if (!web) {
        if (!IsEmailAddress(to) || to.size() > 128)
            Refuse(u"El e-mail del destinatario no es válido."_s);
        if (subject.isEmpty())
            Refuse(u"Falta el asunto del e-mail."_s);
    }
    if (subject.size() > 80 || body.size() > 4096)
        Refuse(u"El asunto o el mensaje son demasiado largos."_s);
    static const QRegularExpression optionForm(u"^t=[01](&o[1-5]=[01]){5}$"_s);
    if (!optionForm.match(options).hasMatch())
        Refuse(u"Las opciones del reporte no son válidas."_s);
    QStringList codes;
    for (const QString& part : Text(Wire::MPropertyList).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 code = part.trimmed().toLongLong(&ok);
        if (!ok)
            Refuse(u"La lista de propiedades del reporte no es válida."_s);
        Property(code); // every listed property must exist on the service
        if (!codes.contains(QString::number(code)))
            codes << QString::number(code);
    }
    if (codes.isEmpty())
        Refuse(u"El reporte no tiene propiedades."_s);
    if (codes.size() > 50)
        Refuse(u"Un reporte puede tener hasta 50 propiedades."_s);
    const QString token = RandomToken();
    TStatement s(m_db.Handle(), u"INSERT INTO `S_Reportes` VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);"_s);
    s.BindAll({token, m_caller.agency, m_caller.user, web ? u"web"_s : u"mail"_s, to, subject, body, options,
               codes.join(u','), copy ? 1 : 0, flag ? 1 : 0, TMasterStore::Now()})
        .Run();
    const QString url = m_base + u"/r/"_s + token;
    m_note = QString::number(codes.size()) + u" properties"_s;
    json answer;
    answer["URL"] = Utf8(url);
    if (web) {
        answer["QR"] = Utf8(Base64(QrPng(url)));
    } else {
        WriteOutboxMail(to, copy ? m_caller.email : QString(), subject,
                        body + u"\n\nVea el reporte de propiedades en: "_s + url + u"\n\n"_s + m_caller.agencyName +
                            u"\n"_s + m_caller.name);
    }
    return Dump(answer);
}

QByteArray TRequest::HelpFile()
{
    const QString folder = m_store.FilePath(u"help"_s);
    const QString path = FirstFile(folder);
    if (path.isEmpty())
        Refuse(u"No hay un documento de ayuda disponible."_s);
    QString versionText = ReadTextFile(folder + u"/version.txt"_s).trimmed();
    bool ok = false;
    double version = versionText.replace(u',', u'.').toDouble(&ok);
    if (!ok)
        version = 1.0;
    json answer;
    if (Number(Wire::MHelpVersion) + 1e-9 >= version) {
        answer["Data"] = "";
        m_note = u"help current"_s;
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            Refuse(u"No hay un documento de ayuda disponible."_s);
        answer["Data"] = Utf8(Base64(file.readAll()));
        m_note = u"help sent"_s;
    }
    answer["Help_Version"] = version;
    return Dump(answer);
}

QByteArray TRequest::ChangeCredentials()
{
    const QString digest = Text(Wire::MValidationKey);
    const bool adminKey =
        !m_handler.m_options.adminKey.isEmpty() &&
        Md5Upper(m_handler.m_options.adminKey.trimmed().toUpper()).compare(digest.trimmed(), Qt::CaseInsensitive) == 0;
    if (!adminKey && !m_store.ValidationKeyMatches(m_caller.agency, digest))
        Refuse(u"La clave de validación no es correcta."_s);
    const qint64 target = Integer(Wire::MUserCode);
    if (target != m_caller.user && m_caller.role != 3)
        Refuse(u"Solo el usuario administrador puede cambiar los datos de acceso de otros usuarios."_s);
    TStatement user(m_db.Handle(),
                    u"SELECT `Inmo_Codigo`, `Usuario_Activo` FROM `W_Usuarios` WHERE `Usuario_Codigo`=?;"_s);
    user.Bind(target);
    if (!user.Step() || user.Int(0) != m_caller.agency)
        Refuse(u"El usuario no pertenece a su inmobiliaria."_s);
    const QString login = Text(Wire::MNewUserName).trimmed().toLower();
    const QString newDigest = Text(Wire::MNewPassword).trimmed();
    static const QRegularExpression loginForm(u"^[a-z0-9]{1,32}$"_s);
    static const QRegularExpression digestForm(u"^[0-9A-Fa-f]{32}$"_s);
    if (!loginForm.match(login).hasMatch())
        Refuse(u"El nuevo nombre de usuario no es válido."_s);
    if (!digestForm.match(newDigest).hasMatch())
        Refuse(u"La nueva contraseña no es válida."_s);
    if (m_db.Scalar(u"SELECT 1 FROM `W_Usuarios` WHERE `Inmo_Codigo`=? AND lower(`Usuario_Login`)=? AND "
                    u"`Usuario_Activo`=1 AND `Usuario_Codigo`<>?;"_s,
                    {m_caller.agency, login, target})
            .isValid())
        Refuse(u"Ya existe otro usuario con el nombre %1."_s.arg(login));
    TServiceDb::Transaction transaction(m_db);
    TStatement update(m_db.Handle(),
                      u"UPDATE `W_Usuarios` SET `Usuario_Login`=?, `Usuario_Password`=? WHERE `Usuario_Codigo`=?;"_s);
    update.BindAll({login, newDigest.toUpper(), target}).Run();
    m_store.RecordChanges({{u"W_Usuarios"_s, target, -1}});
    transaction.Commit();
    m_note = u"user "_s + QString::number(target);
    return Msg();
}

QByteArray TRequest::VisitRequest()
{
    const TProperty p = Property(Integer(Wire::MItemCode));
    if (p.agency == m_caller.agency)
        Refuse(u"La visita se pide a la inmobiliaria de otra propiedad, no a la propia."_s);
    const QString address = Text(Wire::MVisitAddress).trimmed(), seller = Text(Wire::MVisitSeller).trimmed();
    const QString client = Text(Wire::MVisitClient).trimmed(), message = Text(Wire::MVisitBody).trimmed();
    const QDateTime when =
        QDateTime::fromString(Text(Wire::MVisitWhen).trimmed(), u"yyyy-MM-dd HH:mm:ss"_s).isValid()
            ? QDateTime::fromString(Text(Wire::MVisitWhen).trimmed(), u"yyyy-MM-dd HH:mm:ss"_s)
            : QDateTime(QDate::fromString(Text(Wire::MVisitWhen).trimmed(), u"yyyy-MM-dd"_s), QTime(0, 0));
    // The clocks of the client and the service may differ; a day of tolerance keeps an honest
    // request from being refused while a moment long gone still is.
    if (!when.isValid() || when < QDateTime::currentDateTime().addDays(-1))
        Refuse(u"La fecha y hora de la visita no son válidas."_s);
    if (seller.size() < 3 || seller.size() > 128 || client.size() < 3 || client.size() > 128)
        Refuse(u"Los nombres del vendedor y del cliente deben tener al menos 3 caracteres."_s);
    if (message.size() < 15 || message.size() > 4096)
        Refuse(u"El mensaje debe tener al menos 15 caracteres."_s);
    TStatement s(m_db.Handle(), u"INSERT INTO `S_Visitas` (`Prop_Codigo`, `Inmo_Codigo`, `Usuario_Codigo`, "
                                u"`Visita_Direccion`, `Visita_Fecha`, `Visita_Vendedor`, `Visita_Cliente`, "
                                u"`Visita_Mensaje`, `Visita_Pedida`) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?);"_s);
    s.BindAll({p.code, m_caller.agency, m_caller.user, address, TMasterStore::DbText(when), seller, client, message,
               TMasterStore::Now()})
        .Run();
    const QString to =
        m_db.Scalar(u"SELECT `Inmo_email` FROM `W_Inmobiliarias` WHERE `Inmo_Codigo`=?;"_s, {p.agency}).toString();
    if (IsEmailAddress(to))
        WriteOutboxMail(to, m_caller.email, u"Pedido de visita - propiedad "_s + Code(p.code),
                        u"Propiedad: %1\nDirección: %2\nFecha y hora: %3\nVendedor: %4\nCliente: %5\n\n%6\n\n%7"_s.arg(
                            Code(p.code), address, when.toString(u"dd/MM/yyyy HH:mm"_s), seller, client, message,
                            m_caller.agencyName));
    m_note = u"property "_s + Code(p.code);
    return Msg();
}

void TRequest::WriteOutboxMail(const QString& to, const QString& cc, const QString& subject, const QString& body)
{
    // The stand-in sends no mail: each message is kept as a file an operator can inspect.
    QDir().mkpath(m_store.FilePath(u"outbox"_s));
    QFile file(m_store.FilePath(
        u"outbox/%1-%2.eml"_s.arg(QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s), RandomToken())));
    if (!file.open(QIODevice::WriteOnly))
        return;
    QString text = u"From: %1 <%2>\r\nTo: %3\r\n"_s.arg(m_caller.agencyName, m_caller.agencyEmail, to);
    if (!cc.isEmpty())
        text += u"Cc: "_s + cc + u"\r\n"_s;
    text += u"Subject: "_s + subject + u"\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n"_s + body + u"\r\n"_s;
    file.write(text.toUtf8());
}

// --- the handler -------------------------------------------------------------------------------

namespace {

// Latin-1 bytes as UTF-8 in one pass, without a UTF-16 copy in between.
QByteArray Latin1ToUtf8(const QByteArray& latin1)
{
    QByteArray out;
    out.reserve(latin1.size() + std::count_if(latin1.cbegin(), latin1.cend(), [](char c) { return c & 0x80; }));
    for (const char c : latin1) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

} // namespace

bool UnpackRequest(const QByteArray& envelope, qint64 maxInflated, QByteArray& wire, QString* why)
{
    const QByteArray preamble = RequestPreamble();
    if (!envelope.startsWith(preamble)) {
        if (why)
            *why = u"wrong preamble"_s;
        return false;
    }
    QString reason;
    if (!UnpackEnvelope(envelope, int(preamble.size()), wire, &reason, maxInflated)) {
        if (why)
            *why = reason.isEmpty() ? u"wrong preamble"_s : reason;
        return false;
    }
    return true;
}

json ReadRequestText(const QByteArray& wireJson)
{
    QByteArray text = WireToStandardJson(wireJson);
    json object = json::parse(text.begin(), text.end(), nullptr, false);
    // The client writes pure ASCII; 8-bit text from anything else is taken as Latin-1.
    // Only then is a second reading worth its cost, and the widened text replaces the
    // first one instead of joining it.
    if (object.is_discarded() && std::any_of(text.cbegin(), text.cend(), [](char c) { return c & 0x80; })) {
        text = Latin1ToUtf8(WireToStandardJson(wireJson));
        object = json::parse(text.begin(), text.end(), nullptr, false);
    }
    return object;
}

TRequestHandler::TRequestHandler(TMasterStore& store, TServiceOptions options)
    : m_store(store), m_options(std::move(options))
{}

QByteArray TRequestHandler::ErrorObject(const QString& text)
{
    // The client takes an answer for an error object only up to 4096 bytes.
    QString message = text.isEmpty() ? u"Error del servicio."_s : text;
    QByteArray out;
    do {
        out = Dump(json{{"Error", Utf8(message)}});
        message.chop(std::max<qsizetype>(1, message.size() / 8));
    } while (out.size() > 4096);
    return out;
}

TAnswer TRequestHandler::Handle(const QByteArray& wireJson, const QString& remoteAddress, const QString& baseUrl)
{
    const json object = ReadRequestText(wireJson);
    if (!object.is_object()) {
        TAnswer answer;
        answer.action = u"?"_s;
        answer.refused = true;
        answer.note = u"not a JSON object"_s;
        answer.body = ErrorObject(u"La solicitud no tiene un formato válido."_s);
        return answer;
    }
    const QString base = m_options.publicUrl.isEmpty() ? baseUrl : m_options.publicUrl;
    TRequest request(*this, object, remoteAddress, base);
    return request.Run();
}
