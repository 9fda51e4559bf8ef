#include "service/Schema.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include <stdexcept>

namespace Schema {

// Declared types matter: the client reads BOOLEAN columns as "True"/"False", DATETIME
// columns as date-times, and the upload turns each column into JSON by its type.
// Status letters live in *_Estado (clients, users, selections, searches) and in Sync_Tipo
// (properties, photos, owners, extra details, portal requests).
static const char* const kSchema = R"SQL(
CREATE TABLE `W_System` (
  `Sys_Codigo` INTEGER PRIMARY KEY,
  `Inmo_Codigo` INTEGER NOT NULL DEFAULT 0,
  `Sys_InstallKey` TEXT,
  `Sys_DataVersion` INTEGER DEFAULT -1,
  `Sys_LastSyncTime` DATETIME,
  `Sys_PhotoDownloadMode` TEXT,
  `Sys_ConnectTimeout` TEXT,
  `Sys_ReadTimeout` TEXT,
  `Sys_AcceptedTermsVersion` TEXT,
  `Sys_TermsUserName` TEXT,
  `Sys_TermsAcceptedAt` TEXT,
  `Sys_OptimizeDays` TEXT,
  `Sys_LastOptimization` DATETIME,
  `Sys_ChangeLog` TEXT,
  `Sys_ShowChangeLog` BOOLEAN DEFAULT 0,
  `Sys_ListExpanded` TEXT,
  `Sys_DefaultOwnFilter` TEXT,
  `Sys_LabelTrimming` BOOLEAN DEFAULT 1,
  `Sys_UseDirect2D` BOOLEAN DEFAULT 0,
  `Sys_HelpVersion` TEXT,
  `Sys_MarkVisitedProps` BOOLEAN DEFAULT 0
);
CREATE TABLE `W_Paises` (`Pais_Codigo` INTEGER PRIMARY KEY, `Pais_Nombre` TEXT);
CREATE TABLE `W_Provincias` (`Prov_Codigo` INTEGER PRIMARY KEY, `Pais_Codigo` INTEGER, `Prov_Nombre` TEXT);
CREATE TABLE `W_Partidos` (`Part_Codigo` INTEGER PRIMARY KEY, `Prov_Codigo` INTEGER, `Part_Nombre` TEXT);
CREATE TABLE `W_Localidades` (`Loc_Codigo` INTEGER PRIMARY KEY, `Part_Codigo` INTEGER, `Loc_Nombre` TEXT);
CREATE TABLE `W_Zonas` (`Zon_Codigo` INTEGER PRIMARY KEY, `Loc_Codigo` INTEGER, `Zon_Nombre` TEXT);
CREATE TABLE `W_Calles` (`Calle_Codigo` INTEGER PRIMARY KEY, `Calle_Nombre` TEXT);
CREATE TABLE `W_Barrios` (`Barrio_Codigo` INTEGER PRIMARY KEY, `Barrio_Nombre` TEXT, `Barrio_Latitud` REAL,
  `Barrio_Longitud` REAL);
CREATE TABLE `W_Edificaciones` (`Edif_Codigo` INTEGER PRIMARY KEY, `Edif_Nombre` TEXT);
CREATE TABLE `W_Situaciones` (`Situ_Codigo` INTEGER PRIMARY KEY, `Situ_Nombre` TEXT);
CREATE TABLE `W_MotivosStandby` (`Standby_Codigo` INTEGER PRIMARY KEY, `Standby_Nombre` TEXT,
  `Standby_Abreviatura` TEXT);
CREATE TABLE `W_MotivosBaja` (`Baja_Codigo` INTEGER PRIMARY KEY, `Baja_Nombre` TEXT, `Baja_Abreviatura` TEXT);
CREATE TABLE `W_Monedas` (`Moneda_Codigo` INTEGER PRIMARY KEY, `Moneda_Nombre` TEXT, `Moneda_Simbolo` TEXT,
  `Moneda_Cotizacion` REAL);
CREATE TABLE `W_TipoCampos` (`TipoCampo_Codigo` INTEGER PRIMARY KEY, `TipoCampo_Nombre` TEXT);
CREATE TABLE `W_DetalleEdif` (`DetalleEdif_Codigo` INTEGER PRIMARY KEY, `DetalleEdif_Nombre` TEXT,
  `DetalleEdif_Opciones` TEXT, `Edif_Codigo` INTEGER, `TipoCampo_Codigo` INTEGER);
CREATE TABLE `W_Inmobiliarias` (
  `Inmo_Codigo` INTEGER PRIMARY KEY, `Inmo_Nombre` TEXT, `Inmo_Domicilio` TEXT, `Loc_Codigo` INTEGER,
  `Inmo_Te` TEXT, `Inmo_email` TEXT, `Inmo_website` TEXT, `Inmo_CasaCentral` INTEGER, `Inmo_Martillero` TEXT,
  `Inmo_Matricula` TEXT, `Inmo_FactResponsable` TEXT, `Inmo_FactTe` TEXT, `Inmo_FactEmail` TEXT,
  `Inmo_FactRazonSocial` TEXT, `Inmo_FactCUIT` TEXT, `Inmo_FactDireccion` TEXT, `Inmo_FactCP` TEXT,
  `Inmo_FactLocalidad` TEXT, `Inmo_FechaIngreso` DATETIME, `Inmo_FechaBaja` DATETIME,
  `Inmo_FechaReingreso` DATETIME);
CREATE TABLE `W_Usuarios` (
  `Usuario_Codigo` INTEGER PRIMARY KEY, `Inmo_Codigo` INTEGER, `Usuario_Login` TEXT, `Usuario_Password` TEXT,
  `Usuario_Perfil` INTEGER, `Usuario_Nombre` TEXT, `Usuario_Domicilio` TEXT, `Usuario_CP` TEXT,
  `Usuario_Localidad` TEXT, `Usuario_Te` TEXT, `Usuario_email` TEXT, `Usuario_Activo` INTEGER DEFAULT 1,
  `Usuario_Estado` TEXT DEFAULT 'OK', `Usuario_CodigoGeneracion` TEXT, `Usuario_LoginLocal` INTEGER DEFAULT 0);
CREATE INDEX `IX_Usuarios_Inmo` ON `W_Usuarios` (`Inmo_Codigo`);
CREATE TABLE `W_Propiedades` (
  `Prop_Codigo` INTEGER PRIMARY KEY, `Inmo_Codigo` INTEGER, `Edif_Codigo` INTEGER, `Situ_Codigo` INTEGER,
  `Prop_Plazo` INTEGER, `Calle_Codigo` INTEGER, `Barrio_Codigo` INTEGER, `Prop_Numero` TEXT, `Prop_Piso` TEXT,
  `Prop_Dto` TEXT, `Prop_Resto` TEXT, `Pais_Codigo` INTEGER, `Prov_Codigo` INTEGER, `Part_Codigo` INTEGER,
  `Loc_Codigo` INTEGER, `Zon_Codigo` INTEGER, `Prop_Latitud` REAL, `Prop_Longitud` REAL, `Prop_Plantas` INTEGER,
  `Prop_Dorm` INTEGER, `Prop_Ambientes` INTEGER, `Prop_Banos` INTEGER, `Prop_Depn` INTEGER, `Prop_Te` INTEGER,
  `Prop_Cochera` INTEGER, `Prop_aEstrenar` INTEGER, `Prop_SupTno` REAL, `Prop_SupCub` REAL, `Prop_Precio` REAL,
  `Prop_Descripcion` TEXT, `Prop_Video` TEXT, `Prop_FechaAlta` DATETIME, `Prop_FechaMod` DATETIME,
  `Prop_Year` INTEGER, `Moneda_Codigo` INTEGER, `Baja_Codigo` INTEGER, `Standby_Codigo` INTEGER,
  `Prop_Publica` INTEGER, `publicarEnKorvel` INTEGER, `publicarDireccion` INTEGER,
  `publicarDireccionExacta` INTEGER, `publicarRevista` INTEGER, `Prop_CodigoInterno` TEXT,
  `Usuario_Codigo` INTEGER, `Prop_Vendedor` INTEGER, `Prop_InformacionPrivada` TEXT, `Prop_Estado` INTEGER,
  `Prop_CodigoGeneracion` TEXT, `Sync_Tipo` TEXT);
CREATE INDEX `IX_Propiedades_Inmo` ON `W_Propiedades` (`Inmo_Codigo`);
CREATE INDEX `IX_Propiedades_Loc` ON `W_Propiedades` (`Loc_Codigo`);
CREATE INDEX `IX_Propiedades_Edif` ON `W_Propiedades` (`Edif_Codigo`, `Situ_Codigo`);
CREATE INDEX `IX_Propiedades_Sync` ON `W_Propiedades` (`Sync_Tipo`);
CREATE TABLE `W_Fotos` (`Foto_Codigo` INTEGER PRIMARY KEY, `Prop_Codigo` INTEGER, `Foto_Orden` INTEGER DEFAULT 0,
  `Sync_Tipo` TEXT);
CREATE INDEX `IX_Fotos_Prop` ON `W_Fotos` (`Prop_Codigo`);
CREATE TABLE `W_MasDatos` (`Prop_Codigo` INTEGER, `DetalleEdif_Codigo` INTEGER, `MasDato_Valor` TEXT,
  `Sync_Tipo` TEXT, PRIMARY KEY (`Prop_Codigo`, `DetalleEdif_Codigo`));
CREATE TABLE `W_Clientes` (
  `Cli_Codigo` INTEGER PRIMARY KEY, `Inmo_Codigo` INTEGER, `Cli_Tipo` INTEGER DEFAULT 0, `Cli_Nombre` TEXT,
  `Cli_Domicilio` TEXT, `Cli_CP` TEXT, `Cli_Localidad` TEXT, `Cli_Te` TEXT, `Cli_email` TEXT, `Cli_Notas` TEXT,
  `Cli_Activo` INTEGER DEFAULT 1, `Cli_Estado` TEXT DEFAULT 'OK', `Cli_CodigoGeneracion` TEXT,
  `Cli_Filtro` TEXT DEFAULT '', `Cli_FiltroFecha` DATETIME, `Cli_FiltroUsuario` INTEGER);
CREATE INDEX `IX_Clientes_Inmo` ON `W_Clientes` (`Inmo_Codigo`);
CREATE TABLE `W_Propietarios` (`Prot_Codigo` INTEGER, `Prop_Codigo` INTEGER PRIMARY KEY, `Sync_Tipo` TEXT);
CREATE INDEX `IX_Propietarios_Prot` ON `W_Propietarios` (`Prot_Codigo`);
CREATE TABLE `W_Marcas` (`Inmo_Codigo` INTEGER, `Usuario_Codigo` INTEGER, `Prop_Codigo` INTEGER,
  PRIMARY KEY (`Inmo_Codigo`, `Usuario_Codigo`, `Prop_Codigo`));
CREATE TABLE `W_Filtros` (
  `Filtro_Codigo` INTEGER PRIMARY KEY, `Inmo_Codigo` INTEGER, `Usuario_Codigo` INTEGER,
  `Filtro_FechaAlta` DATETIME, `Filtro_FechaModif` DATETIME, `Filtro_Nombre` VARCHAR(50),
  `Filtro_Parametros` TEXT, `Filtro_Estado` TEXT DEFAULT 'OK', `Filtro_CodigoGeneracion` TEXT);
CREATE TABLE `W_Selecciones` (
  `Selec_Codigo` INTEGER PRIMARY KEY, `Inmo_Codigo` INTEGER, `Usuario_Codigo` INTEGER,
  `Selec_FechaAlta` DATETIME, `Selec_FechaMod` DATETIME, `Selec_Nombre` VARCHAR(64), `Cli_Codigo` INTEGER,
  `Selec_Estado` TEXT DEFAULT 'OK', `Selec_CodigoGeneracion` TEXT, `Selec_Compartir` INTEGER);
CREATE TABLE `W_SeleccionesProps` (`Selec_Codigo` INTEGER, `Prop_Codigo` INTEGER,
  UNIQUE (`Selec_Codigo`, `Prop_Codigo`));
CREATE TABLE `W_SeleccionesCompartidas` (`Selec_Codigo` INTEGER, `Usuario_Codigo` INTEGER,
  `Selec_Aceptada` INTEGER, `Selec_EstadoCompartida` TEXT, UNIQUE (`Selec_Codigo`, `Usuario_Codigo`));
CREATE TABLE `W_Zonaprop` (
  `Prop_Codigo` INTEGER PRIMARY KEY, `Inmo_Codigo` INTEGER, `ZP_Publicar` INTEGER DEFAULT 0,
  `ZP_Estado` TEXT, `ZP_Mensaje` TEXT, `ZP_Fecha` DATETIME, `Sync_Tipo` TEXT);
CREATE TABLE `W_Mensajes` (
  `Msg_Codigo` INTEGER PRIMARY KEY, `Inmo_Codigo` INTEGER DEFAULT -1, `Msg_Asunto` TEXT, `Msg_Cuerpo` TEXT,
  `Msg_Fecha` DATETIME, `Msg_Activo` INTEGER DEFAULT 1);
)SQL";

const QString& Sql()
{
    static const QString sql = QString::fromUtf8(kSchema).trimmed();
    return sql;
}

QStringList TableNames()
{
    QStringList names;
    static const QRegularExpression table(QStringLiteral("CREATE TABLE `([^`]+)`"));
    auto it = table.globalMatch(Sql());
    while (it.hasNext())
        names << it.next().captured(1);
    return names;
}

void Create(sqlite3* handle)
{
    char* error = nullptr;
    const QByteArray sql = "BEGIN;" + Sql().toUtf8() + "COMMIT;";
    if (sqlite3_exec(handle, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "schema creation failed";
        sqlite3_free(error);
        sqlite3_exec(handle, "ROLLBACK;", nullptr, nullptr, nullptr);
        throw std::runtime_error(text);
    }
}

} // namespace Schema
