#include "service/MasterStore.h"

#include "service/Schema.h"
#include "service/ServiceText.h"

#include <QDir>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace {

// The service's own records, beside the tables it delivers. They never travel to a client.
const char* const kServiceTables = R"SQL(
CREATE TABLE IF NOT EXISTS `S_Meta` (`Meta_Clave` TEXT PRIMARY KEY, `Meta_Valor` TEXT);
CREATE TABLE IF NOT EXISTS `S_Cambios` (`Cambio_Version` INTEGER NOT NULL, `Cambio_Tabla` TEXT NOT NULL,
  `Cambio_Grupo` INTEGER NOT NULL, `Inmo_Codigo` INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS `IX_Cambios_Version` ON `S_Cambios` (`Cambio_Version`);
CREATE TABLE IF NOT EXISTS `S_Instalaciones` (`Inst_Clave` TEXT PRIMARY KEY, `Inmo_Codigo` INTEGER NOT NULL,
  `Usuario_Codigo` INTEGER, `Inst_Fecha` DATETIME, `Inst_Validada` INTEGER DEFAULT 0, `Inst_Plataforma` TEXT,
  `Inst_Sistema` TEXT, `Inst_UltimoAcceso` DATETIME, `Inst_Direccion` TEXT);
CREATE TABLE IF NOT EXISTS `S_ClavesValidacion` (`Inmo_Codigo` INTEGER PRIMARY KEY, `Clave_Digest` TEXT);
CREATE TABLE IF NOT EXISTS `S_Terminos` (`TOS_Version` REAL PRIMARY KEY, `TOS_Fecha` DATETIME, `TOS_Texto` TEXT);
CREATE TABLE IF NOT EXISTS `S_Cuentas` (`Inmo_Codigo` INTEGER PRIMARY KEY, `Pago_Fecha` DATETIME,
  `Pago_Importe` REAL, `Pago_Hasta` DATETIME, `Pago_Saldo` REAL, `Pago_Descuento` TEXT, `Pago_Nota` TEXT,
  `Pago_IVA` TEXT, `Pago_LastUpdate` DATETIME);
CREATE TABLE IF NOT EXISTS `S_Pagos` (`Pago_Codigo` INTEGER PRIMARY KEY, `Inmo_Codigo` INTEGER,
  `Usuario_Codigo` INTEGER, `Pago_Fecha` TEXT, `Pago_Tipo` TEXT, `Pago_Sucursal` TEXT, `Pago_Banco` TEXT,
  `Pago_Importe` REAL, `Pago_Informado` DATETIME, `Pago_Estado` TEXT);
CREATE TABLE IF NOT EXISTS `S_Denuncias` (`Den_Codigo` INTEGER PRIMARY KEY, `Prop_Codigo` INTEGER,
  `Inmo_Codigo` INTEGER, `Usuario_Codigo` INTEGER, `Den_Motivo` TEXT, `Den_Fecha` DATETIME);
CREATE TABLE IF NOT EXISTS `S_Visitas` (`Visita_Codigo` INTEGER PRIMARY KEY, `Prop_Codigo` INTEGER,
  `Inmo_Codigo` INTEGER, `Usuario_Codigo` INTEGER, `Visita_Direccion` TEXT, `Visita_Fecha` DATETIME,
  `Visita_Vendedor` TEXT, `Visita_Cliente` TEXT, `Visita_Mensaje` TEXT, `Visita_Pedida` DATETIME);
CREATE TABLE IF NOT EXISTS `S_Recuperaciones` (`Rec_Codigo` INTEGER PRIMARY KEY, `Prop_Codigo` INTEGER,
  `Inmo_Codigo` INTEGER, `Usuario_Codigo` INTEGER, `Rec_Fecha` DATETIME);
CREATE TABLE IF NOT EXISTS `S_Compartidos` (`Comp_Codigo` INTEGER PRIMARY KEY, `Prop_Codigo` INTEGER,
  `Inmo_Codigo` INTEGER, `Comp_Canal` INTEGER, `Comp_Fecha` DATETIME);
CREATE TABLE IF NOT EXISTS `S_Reportes` (`Rep_Token` TEXT PRIMARY KEY, `Inmo_Codigo` INTEGER,
  `Usuario_Codigo` INTEGER, `Rep_Tipo` TEXT, `Rep_Para` TEXT, `Rep_Asunto` TEXT, `Rep_Cuerpo` TEXT,
  `Rep_Opciones` TEXT, `Rep_Propiedades` TEXT, `Rep_Copia` INTEGER, `Rep_Marca` INTEGER, `Rep_Fecha` DATETIME);
)SQL";

} // namespace

bool TMasterStore::Open(const QString& dataFolder, QString* error)
{
    m_folder = QDir(dataFolder).absolutePath();
    if (!QDir().mkpath(m_folder)) {
        if (error)
            *error = u"cannot create the data folder "_s + m_folder;
        return false;
    }
    const QString path = FilePath(u"master.db"_s);
    const bool fresh = !QFile::exists(path);
    if (!m_db.Open(path, true, error))
        return false;
    try {
        if (fresh)
            Schema::Create(m_db.Handle());
        EnsureServiceTables();
    } catch (const std::exception& e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        m_db.Close();
        return false;
    }
    return true;
}

void TMasterStore::EnsureServiceTables()
{
    m_db.Exec(QString::fromUtf8(kServiceTables));
    if (Meta(u"version"_s).isEmpty()) {
        SetMeta(u"version"_s, u"1"_s);
        SetMeta(u"base"_s, u"1"_s);
    }
}

QString TMasterStore::PhotoPath(qint64 property, qint64 photo) const
{
    const qint64 agency = property / 100000;
    return FilePath(u"photos/%1/w_%2_%3.jpg"_s.arg(ServiceText::Pad(agency, 4)).arg(property).arg(photo));
}

QString TMasterStore::LogoPath(int agency) const
{
    return FilePath(u"logos/%1.png"_s.arg(ServiceText::Pad(agency, 4)));
}

const std::vector<TTableRule>& TMasterStore::TableRules()
{
    static const std::vector<TTableRule> rules = [] {
        std::vector<TTableRule> list;
        for (const QString& table : Schema::TableNames()) {
            // The settings row belongs to the installation and the marks to its users:
            // an import that emptied either would destroy local state.
            if (table == u"W_System"_s || table == u"W_Marcas"_s)
                continue;
            TTableRule rule{table, {}, {}, TRowScope::Pooled};
            if (table == u"W_Propiedades"_s)
                rule.scope = TRowScope::Listing;
            if (table == u"W_Fotos"_s) {
                rule.groupColumn = u"Prop_Codigo"_s;
                rule.firstField = u"Foto_Codigo"_s;
                rule.scope = TRowScope::OfListing;
            } else if (table == u"W_MasDatos"_s || table == u"W_Propietarios"_s) {
                rule.groupColumn = rule.firstField = u"Prop_Codigo"_s;
                rule.scope = table == u"W_Propietarios"_s ? TRowScope::ViaProperty : TRowScope::OfListing;
            } else if (table == u"W_SeleccionesProps"_s || table == u"W_SeleccionesCompartidas"_s) {
                rule.groupColumn = rule.firstField = u"Selec_Codigo"_s;
                rule.scope = TRowScope::ViaSelection;
            }
            if (table == u"W_Clientes"_s || table == u"W_Filtros"_s || table == u"W_Selecciones"_s ||
                table == u"W_Zonaprop"_s)
                rule.scope = TRowScope::OwnAgency;
            if (table == u"W_Mensajes"_s)
                rule.scope = TRowScope::AgencyOrAll;
            list.push_back(rule);
        }
        return list;
    }();
    return rules;
}

const TTableRule* TMasterStore::RuleOf(const QString& table)
{
    for (const TTableRule& rule : TableRules())
        if (rule.table == table)
            return &rule;
    return nullptr;
}

qint64 TMasterStore::CurrentVersion()
{
    return Meta(u"version"_s, u"1"_s).toLongLong();
}

qint64 TMasterStore::BaseVersion()
{
    return Meta(u"base"_s, u"1"_s).toLongLong();
}

qint64 TMasterStore::RecordChanges(const std::set<TChange>& changes)
{
    const qint64 current = CurrentVersion();
    if (changes.empty())
        return current;
    const qint64 version = current + 1;
    TStatement insert(m_db.Handle(), u"INSERT INTO `S_Cambios` VALUES (?, ?, ?, ?);"_s);
    for (const auto& [table, group, agency] : changes) {
        insert.BindAll({version, table, group, agency});
        insert.Run();
    }
    SetMeta(u"version"_s, QString::number(version));
    return version;
}

QString TMasterStore::Meta(const QString& key, const QString& fallback)
{
    const QVariant value = m_db.Scalar(u"SELECT `Meta_Valor` FROM `S_Meta` WHERE `Meta_Clave`=?;"_s, {key});
    return value.isValid() ? value.toString() : fallback;
}

void TMasterStore::SetMeta(const QString& key, const QString& value)
{
    TStatement s(m_db.Handle(), u"INSERT OR REPLACE INTO `S_Meta` VALUES (?, ?);"_s);
    s.BindAll({key, value}).Run();
}

QString TMasterStore::IssueInstallKey(int agency, qint64 user, const QString& platform, const QString& os)
{
    // 128 random bits: the key identifies an installation and must not be guessable.
    QString key;
    for (int i = 0; i < 4; ++i)
        key += QString::number(QRandomGenerator::system()->generate(), 16).toUpper().rightJustified(8, u'0');
    TStatement s(m_db.Handle(), u"INSERT INTO `S_Instalaciones` (`Inst_Clave`, `Inmo_Codigo`, `Usuario_Codigo`, "
                                u"`Inst_Fecha`, `Inst_Validada`, `Inst_Plataforma`, `Inst_Sistema`) "
                                u"VALUES (?, ?, ?, ?, 0, ?, ?);"_s);
    s.BindAll({key, agency, user, Now(), platform, os}).Run();
    return key;
}

void TMasterStore::RegisterInstallKey(const QString& key, int agency, bool validated)
{
    TStatement s(m_db.Handle(), u"INSERT OR REPLACE INTO `S_Instalaciones` (`Inst_Clave`, `Inmo_Codigo`, "
                                u"`Inst_Fecha`, `Inst_Validada`) VALUES (?, ?, ?, ?);"_s);
    s.BindAll({key, agency, Now(), validated ? 1 : 0}).Run();
}

bool TMasterStore::InstallKeyBelongsTo(const QString& key, int agency)
{
    return m_db.Scalar(u"SELECT 1 FROM `S_Instalaciones` WHERE `Inst_Clave`=? AND `Inmo_Codigo`=?;"_s, {key, agency})
        .isValid();
}

bool TMasterStore::InstallKeyValidated(const QString& key)
{
    return m_db.Scalar(u"SELECT `Inst_Validada` FROM `S_Instalaciones` WHERE `Inst_Clave`=?;"_s, {key}, 0)
               .toLongLong() == 1;
}

void TMasterStore::ValidateInstallKey(const QString& key)
{
    TStatement s(m_db.Handle(), u"UPDATE `S_Instalaciones` SET `Inst_Validada`=1 WHERE `Inst_Clave`=?;"_s);
    s.Bind(key).Run();
}

void TMasterStore::TouchInstallKey(const QString& key, const QString& address)
{
    TStatement s(m_db.Handle(), u"UPDATE `S_Instalaciones` SET `Inst_UltimoAcceso`=?, `Inst_Direccion`=? "
                                u"WHERE `Inst_Clave`=?;"_s);
    s.BindAll({Now(), address, key}).Run();
}

void TMasterStore::SetValidationKey(int agency, const QString& key)
{
    TStatement s(m_db.Handle(), u"INSERT OR REPLACE INTO `S_ClavesValidacion` VALUES (?, ?);"_s);
    s.BindAll({agency, ServiceText::Md5Upper(key.trimmed().toUpper())}).Run();
}

bool TMasterStore::ValidationKeyMatches(int agency, const QString& digest)
{
    const QString stored =
        m_db.Scalar(u"SELECT `Clave_Digest` FROM `S_ClavesValidacion` WHERE `Inmo_Codigo`=?;"_s, {agency}).toString();
    return !stored.isEmpty() && stored.compare(digest.trimmed(), Qt::CaseInsensitive) == 0;
}

QString TMasterStore::DbText(const QDateTime& value)
{
    return value.toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

QString TMasterStore::Now()
{
    return DbText(QDateTime::currentDateTime());
}
