#include "service/Upload.h"

#include "service/MasterStore.h"
#include "service/ServiceText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QSaveFile>

#include <nlohmann/json.hpp>

#include <cmath>
#include <map>
#include <set>

using namespace Qt::StringLiterals;
using ordered_json = nlohmann::ordered_json;

namespace {

// A refusal of the whole upload, with the text the client shows.
struct TRefused {
    QString text;
};

[[noreturn]] void Refuse(const QString& text)
{
    throw TRefused{text};
}

constexpr qint64 kMaxPhotoBytes = 16 * 1024 * 1024;

// What the service knows about each table the client may change.
struct TOwnTable {
    const char* name;
    const char* key;        // single key column; nullptr for the pair tables
    const char* state;      // the status column, nullptr when the table has none
    const char* agency;     // the agency column, nullptr when ownership goes through a parent
    const char* generation; // the generation-code column of locally created rows
};

// In the order the records are applied: a record is applied after those it refers to.
const TOwnTable kOwnTables[] = {
    {"W_Usuarios", "Usuario_Codigo", "Usuario_Estado", "Inmo_Codigo", "Usuario_CodigoGeneracion"},
    {"W_Clientes", "Cli_Codigo", "Cli_Estado", "Inmo_Codigo", "Cli_CodigoGeneracion"},
    {"W_Propiedades", "Prop_Codigo", "Sync_Tipo", "Inmo_Codigo", "Prop_CodigoGeneracion"},
    {"W_Propietarios", "Prop_Codigo", "Sync_Tipo", nullptr, nullptr},
    {"W_MasDatos", nullptr, "Sync_Tipo", nullptr, nullptr},
    {"W_Fotos", "Foto_Codigo", "Sync_Tipo", nullptr, nullptr},
    {"W_Zonaprop", "Prop_Codigo", "Sync_Tipo", "Inmo_Codigo", nullptr},
    {"W_Filtros", "Filtro_Codigo", "Filtro_Estado", "Inmo_Codigo", "Filtro_CodigoGeneracion"},
    {"W_Selecciones", "Selec_Codigo", "Selec_Estado", "Inmo_Codigo", "Selec_CodigoGeneracion"},
    {"W_SeleccionesProps", nullptr, nullptr, nullptr, nullptr},
    {"W_SeleccionesCompartidas", nullptr, nullptr, nullptr, nullptr},
};

using TRecord = std::map<QString, QVariant>;

class TUpload {
public:
    TUpload(TMasterStore& store, const TUploader& caller)
        : m_store(store), m_db(store.Db()), m_caller(caller), m_agency(caller.agency)
    {}

    TUploadOutcome Run(const std::string& payload);

private:
    // --- reading the payload --------------------------------------------------------------
    void CheckRole(const ordered_json& root) const;
    std::vector<TRecord> Records(const ordered_json& array, const QString& table);
    QVariant Convert(const ordered_json& value, const TColumnInfo& column, const QString& table);
    static QString State(const TRecord& record, const char* column);

    // --- codes and ownership ----------------------------------------------------------------
    qint64 Owner(const QString& table, const QString& key, qint64 code);
    bool Exists(const QString& table, const QString& key, qint64 code);
    bool InPool(qint64 property);
    qint64 NextCode(const QString& table, const QString& key);
    qint64 NextPropertyCode();
    qint64 ByGeneration(const TOwnTable& t, const QString& generation);
    qint64 MapUser(const QVariant& code, bool allowNone);
    qint64 MapClient(const QVariant& code);
    qint64 MapOwnProperty(const QVariant& code);
    qint64 Mapped(const QString& table, qint64 code);

    // --- applying ----------------------------------------------------------------------------
    void ApplyKeyed(const TOwnTable& t, const std::vector<TRecord>& records);
    void PrepareRow(const TOwnTable& t, TRecord& row, bool isNew);
    void Write(const QString& table, const QString& key, qint64 code, const TRecord& row, bool exists);
    void DeleteKeyed(const TOwnTable& t, qint64 code);
    void ApplyDetails(const std::vector<TRecord>& records);
    void ClearSelectionChildren(const QString& table);
    void ApplySelectionChildren(const QString& table, const std::vector<TRecord>& records);
    void ApplyPhotos(const ordered_json& array);
    bool IsKnownPicture(qint64 property, qint64 photo, const QByteArray& bytes);
    void Change(const QString& table, qint64 group, int agency) { m_changes.insert({table, group, agency}); }

    TMasterStore& m_store;
    TServiceDb& m_db;
    TUploader m_caller;
    int m_agency;
    std::map<QString, std::vector<TColumnInfo>> m_columns;
    std::map<QString, std::map<qint64, qint64>> m_codes; // table -> local code -> final code
    std::set<qint64> m_newPhotos;                        // final codes of photos created here
    std::set<qint64> m_photosWithData;
    std::set<qint64> m_changedSelections;
    std::vector<std::pair<QString, QByteArray>> m_filesToWrite;
    std::vector<QString> m_filesToDelete;
    std::set<TChange> m_changes;
    int m_records = 0;
};

QString TableLabel(const QString& table)
{
    return table.mid(2);
}

TUploadOutcome TUpload::Run(const std::string& payload)
{
    TUploadOutcome outcome;
    try {
        const ordered_json root = ordered_json::parse(payload, nullptr, false);
        if (!root.is_object())
            Refuse(u"El envío de cambios no tiene un formato válido."_s);
        for (auto it = root.begin(); it != root.end(); ++it) {
            const QString name = QString::fromStdString(it.key());
            if (name == u"JPG"_s)
                continue;
            bool known = false;
            for (const TOwnTable& t : kOwnTables)
                known = known || name == QLatin1StringView(t.name);
            if (!known)
                Refuse(u"El envío contiene la tabla %1, que no admite cambios."_s.arg(name));
            if (!it.value().is_array())
                Refuse(u"La tabla %1 del envío no tiene un formato válido."_s.arg(name));
        }
        CheckRole(root);

        TServiceDb::Transaction transaction(m_db);
        for (const TOwnTable& t : kOwnTables) {
            const QString name = QString::fromLatin1(t.name);
            // The members and shares sent for a changed selection are all it has now, also
            // when none are sent.
            if (!t.key && name != u"W_MasDatos"_s)
                ClearSelectionChildren(name);
            const auto it = root.find(t.name);
            if (it == root.end())
                continue;
            const std::vector<TRecord> records = Records(*it, name);
            if (name == u"W_MasDatos"_s)
                ApplyDetails(records);
            else if (!t.key)
                ApplySelectionChildren(name, records);
            else
                ApplyKeyed(t, records);
        }
        if (const auto it = root.find("JPG"); it != root.end())
            ApplyPhotos(*it);
        for (qint64 photo : m_newPhotos)
            if (!m_photosWithData.count(photo))
                Refuse(u"Falta la imagen de una foto nueva (%1)."_s.arg(photo));
        outcome.version = m_store.RecordChanges(m_changes);
        // The files go first: once the rows are committed the client drops its copies, so
        // a photo whose file could not be written must refuse the upload. Each file is
        // written whole or not at all.
        for (const auto& [path, bytes] : m_filesToWrite) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
                Refuse(u"No se pudo guardar una foto en el servicio. Intente nuevamente más tarde."_s);
        }
        transaction.Commit();
    } catch (const TRefused& refused) {
        outcome.error = refused.text;
        return outcome;
    }

    for (const QString& path : m_filesToDelete)
        QFile::remove(path);
    outcome.accepted = true;
    outcome.records = m_records;
    outcome.photos = int(m_filesToWrite.size());
    outcome.message = u"Cambios recibidos: %1 %2 y %3 %4."_s.arg(m_records)
                          .arg(m_records == 1 ? u"registro"_s : u"registros"_s)
                          .arg(outcome.photos)
                          .arg(outcome.photos == 1 ? u"foto"_s : u"fotos"_s);
    return outcome;
}

void TUpload::CheckRole(const ordered_json& root) const
{
    if (m_caller.role == 3)
        return;
    for (auto it = root.begin(); it != root.end(); ++it) {
        // The photo table travels even when nothing is pending: that placeholder changes nothing.
        bool sendsChanges = false;
        for (const ordered_json& item : *it)
            sendsChanges = sendsChanges || !(item.is_object() && item.size() == 1 && item.contains("Empty"));
        if (!sendsChanges)
            continue;
        // Any role the service does not know is taken as the most restricted one.
        if (m_caller.role != 1)
            Refuse(ServiceText::ReadOnlyUser());
        // Users, their roles, their state and their access are the administrator's: a clerk
        // could otherwise re-enable a user, create one with a password of its choosing or
        // promote itself.
        if (it.key() == "W_Usuarios")
            Refuse(u"Solo el usuario administrador puede dar de alta, modificar o eliminar usuarios."_s);
    }
}

std::vector<TRecord> TUpload::Records(const ordered_json& array, const QString& table)
{
    auto& columns = m_columns[table];
    if (columns.empty())
        columns = m_db.Columns(table);
    std::vector<TRecord> records;
    for (const ordered_json& item : array) {
        if (!item.is_object())
            Refuse(u"Un registro de la tabla %1 no tiene un formato válido."_s.arg(table));
        // The photo table travels even when empty, as this one placeholder record.
        if (item.size() == 1 && item.contains("Empty"))
            continue;
        TRecord record;
        for (const TColumnInfo& column : columns) {
            const auto it = item.find(column.name.toStdString());
            if (it != item.end())
                record[column.name] = Convert(*it, column, table);
        }
        records.push_back(std::move(record));
        ++m_records;
    }
    return records;
}

QVariant TUpload::Convert(const ordered_json& value, const TColumnInfo& column, const QString& table)
{
    const auto invalid = [&] {
        Refuse(u"El valor del campo %1 de la tabla %2 no es válido."_s.arg(column.name, table));
    };
    if (value.is_null())
        return {};
    if (column.IsInteger()) {
        if (value.is_boolean())
            return qint64(value.get<bool>() ? 1 : 0);
        if (value.is_number_integer())
            return value.get<qint64>();
        if (value.is_number_float()) {
            const double d = value.get<double>();
            if (!std::isfinite(d) || d != std::floor(d))
                invalid();
            return qint64(d);
        }
        if (value.is_string()) {
            // Numbers of more than nine digits, negative or decimal ones arrive as text.
            const QString text = QString::fromStdString(value.get<std::string>()).trimmed();
            if (text.isEmpty() || text.compare(u"NULL"_s, Qt::CaseInsensitive) == 0)
                return {};
            bool ok = false;
            const qint64 number = text.toLongLong(&ok);
            if (ok)
                return number;
            const double d = text.toDouble(&ok);
            if (ok && std::isfinite(d) && d == std::floor(d))
                return qint64(d);
        }
        invalid();
    }
    if (column.IsReal()) {
        if (value.is_number())
            return value.get<double>();
        if (value.is_string()) {
            const QString text = QString::fromStdString(value.get<std::string>()).trimmed();
            if (text.isEmpty() || text.compare(u"NULL"_s, Qt::CaseInsensitive) == 0)
                return {};
            bool ok = false;
            const double d = QString(text).replace(u',', u'.').toDouble(&ok);
            if (ok && std::isfinite(d))
                return d;
        }
        invalid();
    }
    if (value.is_string())
        return QString::fromStdString(value.get<std::string>());
    if (value.is_number() || value.is_boolean())
        return QString::fromStdString(value.dump());
    invalid();
    return {};
}

QString TUpload::State(const TRecord& record, const char* column)
{
    if (!column)
        return u"AM"_s;
    const auto it = record.find(QString::fromLatin1(column));
    const QString state = it == record.end() ? QString() : it->second.toString().trimmed().toUpper();
    return state == u"B"_s ? state : u"AM"_s;
}

qint64 TUpload::Owner(const QString& table, const QString& key, qint64 code)
{
    return m_db.Scalar(u"SELECT `Inmo_Codigo` FROM `%1` WHERE `%2`=?;"_s.arg(table, key), {code}, qint64(-1000))
        .toLongLong();
}

bool TUpload::Exists(const QString& table, const QString& key, qint64 code)
{
    return m_db.Scalar(u"SELECT 1 FROM `%1` WHERE `%2`=?;"_s.arg(table, key), {code}).isValid();
}

bool TUpload::InPool(qint64 property)
{
    return m_db
        .Scalar(u"SELECT 1 FROM `W_Propiedades` WHERE `Prop_Codigo`=? AND (`Inmo_Codigo`=? OR `Prop_Publica`=1);"_s,
                {property, m_agency})
        .isValid();
}

qint64 TUpload::NextCode(const QString& table, const QString& key)
{
    const qint64 next =
        m_db.Scalar(u"SELECT MAX(`%1`) FROM `%2` WHERE `%1`<=?;"_s.arg(key, table), {ServiceText::kLastServiceCode}, 0)
            .toLongLong() +
        1;
    if (next > ServiceText::kLastServiceCode)
        Refuse(u"No quedan códigos disponibles en la tabla %1."_s.arg(TableLabel(table)));
    return next;
}

qint64 TUpload::NextPropertyCode()
{
    const qint64 first = qint64(m_agency) * 100000;
    const qint64 last =
        m_db.Scalar(u"SELECT MAX(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Prop_Codigo` BETWEEN ? AND ?;"_s,
                    {first + 1, first + 99999}, first)
            .toLongLong();
    if (last >= first + 99999)
        Refuse(u"La inmobiliaria no tiene más códigos de propiedad disponibles."_s);
    return last + 1;
}

qint64 TUpload::ByGeneration(const TOwnTable& t, const QString& generation)
{
    if (!t.generation || !t.agency || generation.trimmed().isEmpty())
        return 0;
    return m_db
        .Scalar(u"SELECT `%1` FROM `%2` WHERE `%3`=? AND `%4`=? AND `%1`<=?;"_s.arg(
                    QLatin1StringView(t.key), QLatin1StringView(t.name), QLatin1StringView(t.generation),
                    QLatin1StringView(t.agency)),
                {generation, m_agency, ServiceText::kLastServiceCode}, 0)
        .toLongLong();
}

qint64 TUpload::Mapped(const QString& table, qint64 code)
{
    const auto& map = m_codes[table];
    const auto it = map.find(code);
    if (it != map.end())
        return it->second;
    if (ServiceText::IsLocalCode(code))
        Refuse(u"Un registro se refiere a un elemento nuevo de la tabla %1 que no viene en el envío."_s.arg(
            TableLabel(table)));
    return code;
}

qint64 TUpload::MapUser(const QVariant& code, bool allowNone)
{
    if (!code.isValid() || code.toLongLong() <= 0) {
        if (allowNone)
            return code.isValid() ? code.toLongLong() : 0;
        Refuse(u"Falta el usuario de un registro."_s);
    }
    const qint64 user = Mapped(u"W_Usuarios"_s, code.toLongLong());
    if (Owner(u"W_Usuarios"_s, u"Usuario_Codigo"_s, user) != m_agency)
        Refuse(u"Un registro se refiere a un usuario de otra inmobiliaria."_s);
    return user;
}

qint64 TUpload::MapClient(const QVariant& code)
{
    const qint64 client = Mapped(u"W_Clientes"_s, code.toLongLong());
    if (Owner(u"W_Clientes"_s, u"Cli_Codigo"_s, client) != m_agency)
        Refuse(u"Un registro se refiere a un cliente de otra inmobiliaria."_s);
    return client;
}

qint64 TUpload::MapOwnProperty(const QVariant& code)
{
    if (!code.isValid())
        Refuse(u"Falta la propiedad de un registro."_s);
    const qint64 property = Mapped(u"W_Propiedades"_s, code.toLongLong());
    if (Owner(u"W_Propiedades"_s, u"Prop_Codigo"_s, property) != m_agency)
        Refuse(u"La propiedad %1 no pertenece a la inmobiliaria."_s.arg(ServiceText::Code(property)));
    return property;
}

void TUpload::ApplyKeyed(const TOwnTable& t, const std::vector<TRecord>& records)
{
    const QString table = QString::fromLatin1(t.name);
    const QString key = QString::fromLatin1(t.key);
    for (TRecord record : records) {
        const auto keyIt = record.find(key);
        if (keyIt == record.end() || !keyIt->second.isValid())
            Refuse(u"Falta el código de un registro de la tabla %1."_s.arg(TableLabel(table)));
        const qint64 sent = keyIt->second.toLongLong();
        const bool deleting = State(record, t.state) == u"B"_s;
        const auto generationIt = t.generation ? record.find(QString::fromLatin1(t.generation)) : record.end();
        const QString generation = generationIt != record.end() ? generationIt->second.toString() : QString();

        // Rows keyed by property code belong to the property; the others name their agency
        // or are reached through it.
        const bool keyedByProperty = key == u"Prop_Codigo"_s && table != u"W_Propiedades"_s;
        qint64 code = 0;
        if (keyedByProperty) {
            code = MapOwnProperty(sent);
        } else if (ServiceText::IsLocalCode(sent)) {
            code = ByGeneration(t, generation); // sent before, answer lost: same row again
            if (deleting) {
                if (code)
                    DeleteKeyed(t, code);
                continue;
            }
        } else {
            code = sent;
        }

        qint64 owner = -1000;
        bool exists = false;
        if (code) {
            exists = Exists(table, key, code);
            if (exists) {
                if (table == u"W_Fotos"_s) {
                    const qint64 property =
                        m_db.Scalar(u"SELECT `Prop_Codigo` FROM `W_Fotos` WHERE `Foto_Codigo`=?;"_s, {code})
                            .toLongLong();
                    owner = Owner(u"W_Propiedades"_s, u"Prop_Codigo"_s, property);
                } else if (t.agency) {
                    owner = Owner(table, key, code);
                } else {
                    owner = m_agency; // keyed by an own property, checked above
                }
                if (owner != m_agency)
                    Refuse(u"El registro %1 de la tabla %2 pertenece a otra inmobiliaria."_s.arg(code).arg(
                        TableLabel(table)));
            } else if (table == u"W_Propiedades"_s && code / 100000 != m_agency) {
                Refuse(u"La propiedad %1 no pertenece a la inmobiliaria."_s.arg(ServiceText::Code(code)));
            }
        }

        if (deleting) {
            if (exists)
                DeleteKeyed(t, code);
            continue;
        }
        // A new row, or one the service no longer has, gets a code of the service. A
        // property the service lost keeps its code: the range is the agency's own.
        if (table == u"W_Propiedades"_s) {
            if (!code)
                code = NextPropertyCode();
        } else if (!keyedByProperty && (!code || !exists)) {
            code = NextCode(table, key);
        }
        if (!keyedByProperty && code != sent)
            m_codes[table][sent] = code;
        record[key] = code;
        PrepareRow(t, record, !exists);
        Write(table, key, code, record, exists);
    }
}

void TUpload::PrepareRow(const TOwnTable& t, TRecord& row, bool isNew)
{
    const QString table = QString::fromLatin1(t.name);
    if (t.agency)
        row[QString::fromLatin1(t.agency)] = m_agency;
    if (t.state)
        row[QString::fromLatin1(t.state)] = QString::fromLatin1(t.state) == u"Sync_Tipo"_s ? QVariant() : u"OK"_s;

    if (table == u"W_Usuarios"_s) {
        const qint64 code = row[u"Usuario_Codigo"_s].toLongLong();
        const qint64 role = row.count(u"Usuario_Perfil"_s) ? row[u"Usuario_Perfil"_s].toLongLong() : 1;
        const qint64 storedRole =
            isNew ? 0
                  : m_db.Scalar(u"SELECT `Usuario_Perfil` FROM `W_Usuarios` WHERE `Usuario_Codigo`=?;"_s, {code}, 0)
                        .toLongLong();
        // The administrator keeps the role and nobody else gets it.
        if (storedRole == 3)
            row[u"Usuario_Perfil"_s] = 3;
        else if (role == 3)
            Refuse(u"Solo puede haber un usuario administrador por inmobiliaria."_s);
        else if (role != 1 && role != 2)
            row[u"Usuario_Perfil"_s] = 1;
        Change(table, code, -1);
        // Whether a user may log in without the service is the service's decision.
        row.erase(u"Usuario_LoginLocal"_s);
        if (!isNew) {
            // Login and password change only through the request protected by the validation key.
            row.erase(u"Usuario_Login"_s);
            row.erase(u"Usuario_Password"_s);
            return;
        }
        static const QRegularExpression loginForm(u"^[a-z0-9]{1,32}$"_s);
        static const QRegularExpression digestForm(u"^[0-9A-Fa-f]{32}$"_s);
        const QString login = row[u"Usuario_Login"_s].toString().trimmed().toLower();
        const QString digest = row[u"Usuario_Password"_s].toString().trimmed();
        if (!loginForm.match(login).hasMatch() || !digestForm.match(digest).hasMatch())
            Refuse(u"El usuario nuevo no tiene un nombre de usuario o una contraseña válidos."_s);
        if (m_db.Scalar(u"SELECT 1 FROM `W_Usuarios` WHERE `Inmo_Codigo`=? AND `Usuario_Login`=? AND "
                        u"`Usuario_Activo`=1 AND `Usuario_Codigo`<>?;"_s,
                        {m_agency, login, code})
                .isValid())
            Refuse(u"Ya existe un usuario con el nombre %1."_s.arg(login));
        row[u"Usuario_Login"_s] = login;
        row[u"Usuario_Password"_s] = digest.toUpper();
        if (!row.count(u"Usuario_Activo"_s) || !row[u"Usuario_Activo"_s].isValid())
            row[u"Usuario_Activo"_s] = 1;
    } else if (table == u"W_Clientes"_s) {
        const auto it = row.find(u"Cli_FiltroUsuario"_s);
        if (it != row.end() && it->second.isValid())
            it->second = MapUser(it->second, true);
        Change(table, row[u"Cli_Codigo"_s].toLongLong(), m_agency);
    } else if (table == u"W_Propiedades"_s) {
        for (const QString& column : {u"Usuario_Codigo"_s, u"Prop_Vendedor"_s}) {
            const auto it = row.find(column);
            if (it != row.end())
                it->second = MapUser(it->second, true);
        }
        const qint64 code = row[u"Prop_Codigo"_s].toLongLong();
        Change(table, code, -1);
        // Other agencies see a listing only while it is public: when that changes, its
        // photos and details must reach them, or leave them, with it.
        const auto visible = row.find(u"Prop_Publica"_s);
        if (!isNew && visible != row.end() &&
            m_db.Scalar(u"SELECT `Prop_Publica` FROM `W_Propiedades` WHERE `Prop_Codigo`=?;"_s, {code}, 0)
                    .toLongLong() != visible->second.toLongLong()) {
            Change(u"W_Fotos"_s, code, -1);
            Change(u"W_MasDatos"_s, code, -1);
        }
    } else if (table == u"W_Propietarios"_s) {
        row[u"Prot_Codigo"_s] = MapClient(row[u"Prot_Codigo"_s]);
        Change(table, row[u"Prop_Codigo"_s].toLongLong(), m_agency);
    } else if (table == u"W_Fotos"_s) {
        const qint64 property = MapOwnProperty(row[u"Prop_Codigo"_s]);
        row[u"Prop_Codigo"_s] = property;
        if (isNew)
            m_newPhotos.insert(row[u"Foto_Codigo"_s].toLongLong());
        Change(table, property, -1);
    } else if (table == u"W_Zonaprop"_s) {
        // The portal's answer comes later; until then the request is what the agency sees.
        const bool publish = row[u"ZP_Publicar"_s].toLongLong() == 1;
        row[u"ZP_Estado"_s] = publish ? u"Pendiente de publicación"_s : u"Pendiente de baja"_s;
        row[u"ZP_Mensaje"_s] = QString();
        row[u"ZP_Fecha"_s] = TMasterStore::Now();
        Change(table, row[u"Prop_Codigo"_s].toLongLong(), m_agency);
    } else if (table == u"W_Filtros"_s) {
        row[u"Usuario_Codigo"_s] = MapUser(row[u"Usuario_Codigo"_s], false);
        Change(table, row[u"Filtro_Codigo"_s].toLongLong(), m_agency);
    } else if (table == u"W_Selecciones"_s) {
        row[u"Usuario_Codigo"_s] = MapUser(row[u"Usuario_Codigo"_s], false);
        const auto it = row.find(u"Cli_Codigo"_s);
        if (it != row.end() && it->second.isValid() && it->second.toLongLong() > 0)
            it->second = MapClient(it->second);
        else if (it != row.end())
            it->second = QVariant();
        const qint64 code = row[u"Selec_Codigo"_s].toLongLong();
        m_changedSelections.insert(code);
        Change(table, code, m_agency);
    }
}

void TUpload::Write(const QString& table, const QString& key, qint64 code, const TRecord& row, bool exists)
{
    QStringList columns;
    std::vector<QVariant> values;
    for (const auto& [column, value] : row) {
        if (exists && column == key)
            continue;
        columns << column;
        values.push_back(value);
    }
    if (exists) {
        if (columns.isEmpty())
            return;
        QStringList sets;
        for (const QString& c : columns)
            sets << u'`' + c + u"`=?"_s;
        values.push_back(code);
        TStatement s(m_db.Handle(), u"UPDATE `%1` SET %2 WHERE `%3`=?;"_s.arg(table, sets.join(u", "_s), key));
        s.BindAll(values).Run();
    } else {
        TStatement s(m_db.Handle(),
                     u"INSERT INTO `%1` (`%2`) VALUES (%3);"_s.arg(table, columns.join(u"`, `"_s),
                                                                   QStringList(columns.size(), u"?"_s).join(u',')));
        s.BindAll(values).Run();
    }
}

void TUpload::DeleteKeyed(const TOwnTable& t, qint64 code)
{
    const QString table = QString::fromLatin1(t.name);
    const auto run = [&](const QString& sql, const std::vector<QVariant>& values) {
        TStatement s(m_db.Handle(), sql);
        s.BindAll(values).Run();
    };
    const auto removePhotoFiles = [&](const QString& where, qint64 value) {
        TStatement s(m_db.Handle(), u"SELECT `Prop_Codigo`, `Foto_Codigo` FROM `W_Fotos` WHERE `%1`=?;"_s.arg(where));
        s.Bind(value);
        while (s.Step())
            m_filesToDelete.push_back(m_store.PhotoPath(s.Int(0), s.Int(1)));
    };
    if (table == u"W_Usuarios"_s) {
        const qint64 role =
            m_db.Scalar(u"SELECT `Usuario_Perfil` FROM `W_Usuarios` WHERE `Usuario_Codigo`=?;"_s, {code}, 0)
                .toLongLong();
        if (role == 3)
            Refuse(u"El usuario administrador no puede eliminarse."_s);
        // Properties keep naming the people who entered and sold them: a deleted user stays
        // as an inactive row.
        run(u"UPDATE `W_Usuarios` SET `Usuario_Activo`=0, `Usuario_Estado`='OK' WHERE `Usuario_Codigo`=?;"_s, {code});
        Change(table, code, -1);
    } else if (table == u"W_Propiedades"_s) {
        removePhotoFiles(u"Prop_Codigo"_s, code);
        for (const QString& child : {u"W_Fotos"_s, u"W_MasDatos"_s, u"W_Propietarios"_s, u"W_Zonaprop"_s}) {
            run(u"DELETE FROM `%1` WHERE `Prop_Codigo`=?;"_s.arg(child), {code});
            Change(child, code, child == u"W_Fotos"_s || child == u"W_MasDatos"_s ? -1 : m_agency);
        }
        run(u"DELETE FROM `W_Propiedades` WHERE `Prop_Codigo`=?;"_s, {code});
        Change(table, code, -1);
    } else if (table == u"W_Fotos"_s) {
        const qint64 property =
            m_db.Scalar(u"SELECT `Prop_Codigo` FROM `W_Fotos` WHERE `Foto_Codigo`=?;"_s, {code}).toLongLong();
        removePhotoFiles(u"Foto_Codigo"_s, code);
        run(u"DELETE FROM `W_Fotos` WHERE `Foto_Codigo`=?;"_s, {code});
        Change(table, property, -1);
    } else if (table == u"W_Selecciones"_s) {
        for (const QString& child : {u"W_SeleccionesProps"_s, u"W_SeleccionesCompartidas"_s}) {
            run(u"DELETE FROM `%1` WHERE `Selec_Codigo`=?;"_s.arg(child), {code});
            Change(child, code, m_agency);
        }
        run(u"DELETE FROM `W_Selecciones` WHERE `Selec_Codigo`=?;"_s, {code});
        Change(table, code, m_agency);
    } else {
        // Clients, searches, owners and portal requests: all visible to the agency only.
        run(u"DELETE FROM `%1` WHERE `%2`=?;"_s.arg(table, QLatin1StringView(t.key)), {code});
        Change(table, code, m_agency);
    }
}

void TUpload::ApplyDetails(const std::vector<TRecord>& records)
{
    for (TRecord record : records) {
        const qint64 property = MapOwnProperty(record[u"Prop_Codigo"_s]);
        const QVariant detail = record[u"DetalleEdif_Codigo"_s];
        if (!detail.isValid())
            Refuse(u"Falta el campo de un dato adicional."_s);
        TStatement remove(m_db.Handle(),
                          u"DELETE FROM `W_MasDatos` WHERE `Prop_Codigo`=? AND `DetalleEdif_Codigo`=?;"_s);
        remove.BindAll({property, detail}).Run();
        if (State(record, "Sync_Tipo") != u"B"_s) {
            TStatement insert(m_db.Handle(), u"INSERT INTO `W_MasDatos` (`Prop_Codigo`, `DetalleEdif_Codigo`, "
                                             u"`MasDato_Valor`, `Sync_Tipo`) VALUES (?, ?, ?, NULL);"_s);
            insert.BindAll({property, detail, record[u"MasDato_Valor"_s]}).Run();
        }
        Change(u"W_MasDatos"_s, property, -1);
    }
}

void TUpload::ClearSelectionChildren(const QString& table)
{
    for (qint64 selection : m_changedSelections) {
        TStatement clear(m_db.Handle(), u"DELETE FROM `%1` WHERE `Selec_Codigo`=?;"_s.arg(table));
        clear.Bind(selection).Run();
        Change(table, selection, m_agency);
    }
}

void TUpload::ApplySelectionChildren(const QString& table, const std::vector<TRecord>& records)
{
    const bool members = table == u"W_SeleccionesProps"_s;
    for (TRecord record : records) {
        const QVariant sent = record[u"Selec_Codigo"_s];
        if (!sent.isValid())
            Refuse(u"Falta la selección de un registro de la tabla %1."_s.arg(TableLabel(table)));
        const qint64 selection = Mapped(u"W_Selecciones"_s, sent.toLongLong());
        if (Owner(u"W_Selecciones"_s, u"Selec_Codigo"_s, selection) != m_agency)
            Refuse(u"La selección %1 no pertenece a la inmobiliaria."_s.arg(selection));
        if (members) {
            const QVariant sentProperty = record[u"Prop_Codigo"_s];
            if (!sentProperty.isValid())
                continue;
            const qint64 property = Mapped(u"W_Propiedades"_s, sentProperty.toLongLong());
            // A listing removed meanwhile simply drops out of the selection. Another agency's
            // private listing is not in the pool, so for this agency it does not exist either:
            // it drops out the same way, and the answer does not tell the two apart.
            if (!InPool(property))
                continue;
            TStatement s(m_db.Handle(), u"INSERT OR IGNORE INTO `W_SeleccionesProps` (`Selec_Codigo`, `Prop_Codigo`) "
                                        u"VALUES (?, ?);"_s);
            s.BindAll({selection, property}).Run();
        } else {
            const qint64 user = MapUser(record[u"Usuario_Codigo"_s], false);
            const QVariant accepted = record[u"Selec_Aceptada"_s].toLongLong() == 1 ? QVariant(1) : QVariant();
            TStatement s(m_db.Handle(), u"INSERT OR REPLACE INTO `W_SeleccionesCompartidas` (`Selec_Codigo`, "
                                        u"`Usuario_Codigo`, `Selec_Aceptada`) VALUES (?, ?, ?);"_s);
            s.BindAll({selection, user, accepted}).Run();
        }
        Change(table, selection, m_agency);
    }
}

void TUpload::ApplyPhotos(const ordered_json& array)
{
    if (!array.is_array())
        Refuse(u"Las fotos del envío no tienen un formato válido."_s);
    for (const ordered_json& item : array) {
        const auto number = [&](const char* name) -> qint64 {
            const auto it = item.find(name);
            if (it == item.end())
                Refuse(u"Falta el campo %1 de una foto."_s.arg(QLatin1StringView(name)));
            if (it->is_number_integer())
                return it->get<qint64>();
            if (it->is_string()) {
                bool ok = false;
                const qint64 value = QString::fromStdString(it->get<std::string>()).trimmed().toLongLong(&ok);
                if (ok)
                    return value;
            }
            Refuse(u"El campo %1 de una foto no es válido."_s.arg(QLatin1StringView(name)));
        };
        if (!item.is_object() || !item.contains("Data") || !item["Data"].is_string())
            Refuse(u"Una foto del envío no tiene un formato válido."_s);
        const qint64 property = MapOwnProperty(number("Prop_Codigo"));
        const qint64 photo = Mapped(u"W_Fotos"_s, number("Foto_Codigo"));
        if (m_db.Scalar(u"SELECT `Prop_Codigo` FROM `W_Fotos` WHERE `Foto_Codigo`=?;"_s, {photo}, qint64(-1))
                .toLongLong() != property)
            Refuse(u"La foto %1 no pertenece a la propiedad %2."_s.arg(photo).arg(ServiceText::Code(property)));
        const std::string& data = item["Data"].get_ref<const std::string&>();
        const auto decoded =
            QByteArray::fromBase64Encoding(QByteArray::fromStdString(data), QByteArray::AbortOnBase64DecodingErrors);
        const QByteArray bytes = *decoded;
        if (!decoded || bytes.size() > kMaxPhotoBytes || !bytes.startsWith("\xFF\xD8\xFF") ||
            QImage::fromData(bytes, "JPG").isNull())
            Refuse(u"La foto %1 no es una imagen JPEG válida."_s.arg(photo));
        m_photosWithData.insert(photo);
        if (m_newPhotos.count(photo) && IsKnownPicture(property, photo, bytes)) {
            // The same picture sent again (the answer to an earlier upload was lost): the
            // property keeps the one it has.
            TStatement drop(m_db.Handle(), u"DELETE FROM `W_Fotos` WHERE `Foto_Codigo`=?;"_s);
            drop.Bind(photo).Run();
            continue;
        }
        m_filesToWrite.emplace_back(m_store.PhotoPath(property, photo), bytes);
        // A replaced picture must reach the other installations too: they drop the
        // property's photo files when its photos are listed again.
        Change(u"W_Fotos"_s, property, -1);
    }
}

bool TUpload::IsKnownPicture(qint64 property, qint64 photo, const QByteArray& bytes)
{
    TStatement s(m_db.Handle(), u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo`=? AND `Foto_Codigo`<>?;"_s);
    s.BindAll({property, photo});
    while (s.Step()) {
        if (m_newPhotos.count(s.Int(0)))
            continue;
        QFile file(m_store.PhotoPath(property, s.Int(0)));
        if (file.size() == bytes.size() && file.open(QIODevice::ReadOnly) && file.readAll() == bytes)
            return true;
    }
    return false;
}

} // namespace

TUploadOutcome ApplyUpload(TMasterStore& store, const TUploader& caller, const std::string& payload)
{
    TUpload upload(store, caller);
    return upload.Run(payload);
}
