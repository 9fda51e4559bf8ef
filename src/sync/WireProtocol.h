#pragma once

#include "core/WireBasics.h"

#include <QByteArray>
#include <QString>

// What the client and the listing service agree on: endpoint paths, the envelope's
// constants, the member names of the request object and the action text of each kind.
// The stand-in service is built from this same header. The error report's part lives in
// core/WireBasics.h, as the fatal routines send reports from below this library.
namespace Wire {

using namespace Qt::StringLiterals;

// Paths on the service host.
inline const QString SyncPath = u"/sync/R3/sync.php"_s;
inline const QString PublicAddressPath = u"/sync/R3/ip.php"_s;

// Envelope: request preamble of four texts, each followed by CR, then CR CR; a marker
// over the zlib header; 57 padding bytes; a fixed 124-byte preamble in responses.
inline const QByteArray PreambleTexts[4] = {"KORVEL", "SYNC", "R3", "KVZ-ENVELOPE-1"};
inline const QByteArray Marker = "KVZ1";
constexpr int PaddingBytes = 57;
constexpr int ResponsePreambleLength = 124;
// Preamble, marker, two bytes of deflate data, checksum and padding: a response shorter
// than this cannot be unpacked.
constexpr int MinimumResponseLength = ResponsePreambleLength + 4 + 2 + 4 + PaddingBytes;

// Common members, in the order they are written.
inline const QString MAgency = u"Inmo_Codigo"_s;
inline const QString MUser = u"Usuario"_s;
inline const QString MPassword = u"Clave"_s;
inline const QString MAppVersion = u"Version"_s;
inline const QString MPlatform = u"Plataforma"_s;
inline const QString MArchitecture = u"Arquitectura"_s;
inline const QString MOsVersion = u"SistemaOperativo"_s;
inline const QString MScreen = u"Pantalla"_s;
inline const QString MClientTime = u"Fecha"_s;
inline const QString MNonce = u"Nonce"_s;
inline const QString MInstallKey = u"ClaveInstalacion"_s;
inline const QString MAcceptedTerms = u"TOS_Aceptado"_s;
inline const QString MAction = u"Accion"_s;

// Members of the kinds.
inline const QString MAppName = u"Aplicacion"_s;
inline const QString MTermsVersion = u"TOS_Version"_s;
inline const QString MMode = u"Modo"_s;
inline const QString MDataVersion = u"DBVer"_s;
inline const QString MPayload = u"Payload"_s;
inline const QString MItemCode = u"Prop_Codigo"_s;
inline const QString MPhotoList = u"Fotos"_s;
inline const QString MValidationKey = u"ClaveValidacion"_s;
inline const QString MPayDate = u"PayDate"_s;
inline const QString MPayType = u"PayType"_s;
inline const QString MPayBranch = u"PayBranch"_s;
inline const QString MPayBank = u"PayBank"_s;
inline const QString MPayAmount = u"PayAmount"_s;
inline const QString MChannel = u"Canal"_s;
inline const QString MBody = u"Cuerpo"_s;
inline const QString MSubject = u"Asunto"_s;
inline const QString MMailTo = u"Para"_s;
inline const QString MReportOptions = u"Opciones"_s;
inline const QString MPropertyList = u"Propiedades"_s;
inline const QString MSendCopy = u"Copia"_s;
inline const QString MReportFlag = u"Marca"_s;
inline const QString MHelpVersion = u"Help_Version"_s;
inline const QString MUserCode = u"Usuario_Codigo"_s;
inline const QString MNewUserName = u"NuevoUsuario"_s;
inline const QString MNewPassword = u"NuevaClave"_s;
inline const QString MVisitAddress = u"Visita_Direccion"_s;
inline const QString MVisitWhen = u"Visita_Fecha"_s;
inline const QString MVisitSeller = u"Visita_Vendedor"_s;
inline const QString MVisitClient = u"Visita_Cliente"_s;
inline const QString MVisitBody = u"Visita_Mensaje"_s;

// Answer members whose names are ours to choose.
inline const QString ASessionStatus = u"Estado"_s;
inline const QString ASessionMessage = u"Mensaje"_s;
// Service status: five texts and one boolean.
inline const QString AStatusPublicAddress = u"IP"_s;
inline const QString AStatusText = u"Status"_s;
inline const QString AStatusServerTime = u"ServerTime"_s;
inline const QString AStatusVersion = u"CurrentVersion"_s;
inline const QString AStatusNotice = u"Aviso"_s;
inline const QString AStatusValidationRequired = u"Validar"_s;
// The two status texts that let a synchronisation go ahead.
inline const QString StatusAccepted = u"OK"_s;
inline const QString StatusAcceptedWithNotice = u"OK-VALIDADO"_s;

// The error text with which the service answers a program download when the client's
// version is already the current one.
inline const QString NoUpdateNeeded = u"No es necesario actualizar el programa."_s;

// The error text of a service that is down for maintenance; the client explains it
// instead of showing it bare.
inline const QString ServiceMaintenance = u"Servicio en mantenimiento."_s;

} // namespace Wire
