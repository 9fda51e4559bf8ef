#pragma once

#include <QByteArray>
#include <QString>

// The part of the wire format that the error report needs: the fatal routines send it from
// core, below the synchronisation library. sync/WireProtocol.h includes this and adds the rest.
namespace Wire {

using namespace Qt::StringLiterals;

inline const QString ErrorReportPath = u"/sync/R3/drs.php"_s;

// The multipart form that carries an envelope (also an error report).
inline const QByteArray FormFieldName = "kvdata";
inline const QByteArray FormContentType = "application/octet-stream";
inline const QByteArray UserAgent = "Korvel-Client/3 (Linux)";

// Error reports: prefix of the chained text and the thirteen keys of the report.
inline const QByteArray ErrorReportPrefix = "KVBUG1";
inline const char* const ErrorReportKeys[13] = {"Inmobiliaria",         "NombreInmobiliaria", "VersionDatos",
                                                "UltimaSincronizacion", "UltimaOptimizacion", "ClaveInstalacion",
                                                "VersionPrograma",      "SistemaOperativo",   "Equipo",
                                                "UsuarioSistema",       "UsuarioCodigo",      "UsuarioLogin",
                                                "UsuarioNombre"};

} // namespace Wire
