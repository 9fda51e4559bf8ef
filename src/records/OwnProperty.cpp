#include "records/OwnProperty.h"

#include "core/Bugs.h"
#include "core/Guarded.h"
#include "core/MiscFunc.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "records/PropertyTexts.h"

#include <QFile>

#include <memory>

using namespace Qt::StringLiterals;

namespace OwnPropertyText {
QString InvalidField(const QString& caption)
{
    return u"El dato \"%1\" no es válido. Revíselo y vuelva a intentarlo."_s.arg(caption);
}
const QString InvalidPrice = u"El precio no es válido: escríbalo sin decimales. Para la operación y la moneda "
                             u"elegidas debe superar el mínimo aceptado."_s;
const QString InvalidFloor = u"El piso no es válido: escriba -3, -2, -1, PB, EP, PA o un número de 1 a 99."_s;
const QString MissingLocation =
    u"Falta la ubicación de la propiedad. Elíjala con el botón \"Ubicación\" antes de guardar."_s;
const QString CouldNotCreate = u"No se pudo crear la propiedad. Vuelva a intentarlo."_s;
const QString CouldNotSave = u"No se pudo guardar la propiedad."_s;
const QString CouldNotDelete = u"No se pudo dar de baja la propiedad."_s;
const QString CouldNotSuspend = u"No se pudo suspender la propiedad."_s;
const QString NoPermission = u"Su usuario no tiene permiso para modificar propiedades de la inmobiliaria."_s;
const QString RecoveryRequested =
    u"Se solicitó la recuperación de la propiedad. Estará disponible después de una próxima sincronización."_s;
const QString PhotosMustBeDownloaded =
    u"Antes de modificar o copiar la propiedad deben descargarse todas sus fotos. Ábrala en la ficha, espere "
    u"a que se vean sus fotos y vuelva a intentarlo."_s;
} // namespace OwnPropertyText

namespace {

// The largest lengths of the form's number edits.
constexpr int kPriceLength = 12;
constexpr int kNumberLength = 6;
constexpr int kSurfaceLength = 9;
constexpr int kCountLength = 9;
constexpr int kYearLength = 4;

QString Quoted(const QString& text)
{
    return u"\""_s + EscapeSql(text) + u"\""_s;
}

// Number fields: bare digits, or NULL when empty.
QString NumberValue(const QString& text)
{
    const QString digits = StripThousands(text.trimmed());
    return digits.isEmpty() ? u"NULL"_s : SqlValueText(digits);
}

QString TextValue(const QString& text)
{
    return text.isEmpty() ? u"NULL"_s : SqlValueText(EscapeSql(text));
}

QString Flag(bool value)
{
    return value ? u"1"_s : u"0"_s;
}

bool QueryRows(const QString& code, const QString& sql, std::unique_ptr<TResultSet>& rows)
{
    TDataBase* db = DB();
    if (!db || !db->QueryNoCount(sql, rows) || !rows) {
        WriteLog(code, db ? TakeDbLastError() : u"Database not open"_s);
        return false;
    }
    return true;
}

bool RoomsAreAmbientes(int buildingType)
{
    return FieldApplies(u"Ambientes"_s, buildingType);
}

// The statements that make the property's owner link and extra details what the form
// holds. Rows of a property the service already has are marked for deletion, never
// deleted here: the upload sends only marked rows, so a plain delete would never reach it.
QString ChildStatements(const TOwnPropertyInput& input, int code)
{
    const bool local = IsLocalCode(code);
    QString sql;
    if (input.Owner > 0) {
        sql += u"INSERT OR REPLACE INTO `W_Propietarios` (`Prot_Codigo`, `Prop_Codigo`, `Sync_Tipo`) "
               u"VALUES (%1, %2, \"AM\");"_s.arg(input.Owner)
                   .arg(code);
    } else if (local) {
        sql += u"DELETE FROM `W_Propietarios` WHERE `Prop_Codigo` = %1;"_s.arg(code);
    } else {
        sql += u"UPDATE `W_Propietarios` SET `Sync_Tipo` = \"B\" WHERE `Prop_Codigo` = %1;"_s.arg(code);
    }

    QStringList kept;
    QStringList values;
    for (const TExtraDetail& d : input.Details) {
        QString value;
        if (d.IsCombo) {
            // The combo's first entry is the empty choice.
            if (d.Option >= 0)
                value = QString::number(d.Option);
        } else {
            value = d.Text.trimmed();
        }
        if (value.isEmpty())
            continue;
        kept << QString::number(d.Code);
        values << u"(%1, %2, %3, \"AM\")"_s.arg(code).arg(d.Code).arg(Quoted(value));
    }
    const QString others = kept.isEmpty() ? QString() : u" AND `DetalleEdif_Codigo` NOT IN (%1)"_s.arg(kept.join(u','));
    if (local)
        sql += u"DELETE FROM `W_MasDatos` WHERE `Prop_Codigo` = %1%2;"_s.arg(code).arg(others);
    else
        sql += u"UPDATE `W_MasDatos` SET `Sync_Tipo` = \"B\" WHERE `Prop_Codigo` = %1%2;"_s.arg(code).arg(others);
    if (!values.isEmpty())
        sql += u"INSERT OR REPLACE INTO `W_MasDatos` (`Prop_Codigo`, `DetalleEdif_Codigo`, `MasDato_Valor`, "
               u"`Sync_Tipo`) VALUES "_s +
               values.join(u", "_s) + u';';
    return sql;
}

QString PortalStatement(const TOwnPropertyInput& input, int code, int agency)
{
    const QString now = Quoted(DateTimeToDbText(QDateTime::currentDateTime()));
    if (input.PublishOnService && input.PortalRequest)
        return u"INSERT OR REPLACE INTO `W_Zonaprop` (`Prop_Codigo`, `Inmo_Codigo`, `ZP_Publicar`, `ZP_Estado`, "
               u"`ZP_Mensaje`, `ZP_Fecha`, `Sync_Tipo`) VALUES (%1, %2, 1, \"Pendiente de publicación\", NULL, "
               u"%3, \"AM\");"_s.arg(code)
                   .arg(agency)
                   .arg(now);
    // A withdrawal only for a record that still asks to be published: asking again for a
    // withdrawal already asked for would send the same request on every save.
    return u"UPDATE `W_Zonaprop` SET `ZP_Publicar` = 0, `ZP_Estado` = \"Pendiente de baja\", `ZP_Mensaje` = NULL, "
           u"`ZP_Fecha` = %2, `Sync_Tipo` = \"AM\" WHERE `Prop_Codigo` = %1 AND IFNULL(`ZP_Publicar`, 0) <> 0;"_s
               .arg(code)
               .arg(now);
}

} // namespace

void AddressColumns(int level, int& address, int& exact)
{
    address = level == AddressNone ? 0 : 1;
    exact = level == AddressExact ? 1 : 0;
}

int AddressLevelOf(int address, int exact)
{
    if (address == 1 && exact == 1)
        return AddressExact;
    if (address == 1)
        return AddressRounded;
    return AddressNone;
}

bool LoadExtraDetails(int buildingType, int propertyCode, std::vector<TExtraDetail>& details)
{
    details.clear();
    std::unique_ptr<TResultSet> rows;
    const QString sql =
        u"SELECT d.`DetalleEdif_Codigo` AS c, d.`DetalleEdif_Nombre` AS n, d.`DetalleEdif_Opciones` AS o, "
        u"t.`TipoCampo_Nombre` AS t, m.`MasDato_Valor` AS v FROM `W_DetalleEdif` d "
        u"LEFT JOIN `W_TipoCampos` t ON t.`TipoCampo_Codigo` = d.`TipoCampo_Codigo` "
        u"LEFT JOIN `W_MasDatos` m ON m.`DetalleEdif_Codigo` = d.`DetalleEdif_Codigo` AND m.`Prop_Codigo` = %1 "
        u"AND IFNULL(m.`Sync_Tipo`, \"\") <> \"B\" "
        u"WHERE d.`Edif_Codigo` = %2 ORDER BY d.`DetalleEdif_Codigo`;"_s.arg(propertyCode)
            .arg(buildingType);
    if (!QueryRows(u"$2074"_s, sql, rows))
        return false;
    for (rows->First(); !rows->Eof(); rows->Next()) {
        TExtraDetail d;
        d.Code = rows->AsInteger(u"c"_s);
        d.Caption = rows->AsString(u"n"_s).trimmed();
        d.IsCombo = rows->AsString(u"t"_s).trimmed().compare(u"COMBO"_s, Qt::CaseInsensitive) == 0;
        const QString value = rows->AsString(u"v"_s);
        if (d.IsCombo) {
            d.Options = rows->AsString(u"o"_s).split(u'/');
            bool ok = false;
            const int index = value.toInt(&ok);
            d.Option = ok && index >= 0 && index < d.Options.size() ? index : -1;
        } else {
            d.Text = value;
        }
        details.push_back(d);
    }
    return true;
}

bool LoadOwnPropertyInput(int propertyCode, TOwnPropertyInput& in)
{
    std::unique_ptr<TResultSet> rows;
    if (!QueryRows(u"$2074"_s, u"SELECT * FROM `W_Propiedades` WHERE `Prop_Codigo` = %1;"_s.arg(propertyCode), rows) ||
        rows->RecordCount() == 0)
        return false;
    const TResultSet& r = *rows;
    const auto number = [&](const QString& column) {
        return r.IsNull(column) ? QString() : QString::number(r.AsInt64(column));
    };
    in = TOwnPropertyInput();
    in.Mode = EditModify;
    in.Code = propertyCode;
    in.BuildingType = r.AsInteger(u"Edif_Codigo"_s);
    in.Operation = r.AsInteger(u"Situ_Codigo"_s);
    in.Currency = r.IsNull(u"Moneda_Codigo"_s) ? 1 : r.AsInteger(u"Moneda_Codigo"_s);
    in.Term = r.AsInteger(u"Prop_Plazo"_s) > 0 ? r.AsInteger(u"Prop_Plazo"_s) : 30;
    in.Standby = r.IsNull(u"Standby_Codigo"_s) ? 1 : r.AsInteger(u"Standby_Codigo"_s);
    in.Public = r.IsNull(u"Prop_Publica"_s) ? 1 : r.AsInteger(u"Prop_Publica"_s);
    in.Location.Country = r.AsInteger(u"Pais_Codigo"_s);
    in.Location.Province = r.AsInteger(u"Prov_Codigo"_s);
    in.Location.District = r.AsInteger(u"Part_Codigo"_s);
    in.Location.Locality = r.AsInteger(u"Loc_Codigo"_s);
    in.Location.Zone = r.AsInteger(u"Zon_Codigo"_s);
    in.Location.Street = r.AsInteger(u"Calle_Codigo"_s);
    in.Location.Neighbourhood = r.AsInteger(u"Barrio_Codigo"_s);
    in.OnStreet = in.Location.Neighbourhood <= 0;
    in.Latitude = r.AsString(u"Prop_Latitud"_s);
    in.Longitude = r.AsString(u"Prop_Longitud"_s);
    in.InternalCode = r.AsString(u"Prop_CodigoInterno"_s);
    in.Price = r.IsNull(u"Prop_Precio"_s) ? QString() : QString::number(qint64(r.AsFloat(u"Prop_Precio"_s)));
    in.Number = r.AsString(u"Prop_Numero"_s).trimmed();
    in.Floor = r.AsString(u"Prop_Piso"_s).trimmed();
    in.Unit = r.AsString(u"Prop_Dto"_s).trimmed();
    in.Rest = r.AsString(u"Prop_Resto"_s).trimmed();
    in.LandSurface = r.IsNull(u"Prop_SupTno"_s) ? QString() : QString::number(qint64(r.AsFloat(u"Prop_SupTno"_s)));
    in.CoveredSurface = r.IsNull(u"Prop_SupCub"_s) ? QString() : QString::number(qint64(r.AsFloat(u"Prop_SupCub"_s)));
    in.Floors = number(u"Prop_Plantas"_s);
    in.Rooms = number(RoomsAreAmbientes(in.BuildingType) ? u"Prop_Ambientes"_s : u"Prop_Dorm"_s);
    in.Baths = number(u"Prop_Banos"_s);
    in.Year = number(u"Prop_Year"_s);
    in.Description = r.AsString(u"Prop_Descripcion"_s);
    in.PrivateNotes = r.AsString(u"Prop_InformacionPrivada"_s);
    in.Video = r.AsString(u"Prop_Video"_s);
    in.Dependency = r.AsInteger(u"Prop_Depn"_s) != 0;
    in.Phone = r.AsInteger(u"Prop_Te"_s) != 0;
    in.Garage = r.AsInteger(u"Prop_Cochera"_s) != 0;
    in.BrandNew = r.AsInteger(u"Prop_aEstrenar"_s) != 0;
    in.EntryDate = r.AsDateTime(u"Prop_FechaAlta"_s);
    in.GenerationCode = r.AsString(u"Prop_CodigoGeneracion"_s);
    in.Seller = r.AsInteger(u"Prop_Vendedor"_s);
    in.Owner = PropertyOwner(propertyCode);
    in.PublishOnService = r.IsNull(u"publicarEnKorvel"_s) || r.AsInteger(u"publicarEnKorvel"_s) != 0;
    in.AddressLevel = AddressLevelOf(r.AsInteger(u"publicarDireccion"_s), r.AsInteger(u"publicarDireccionExacta"_s));
    in.PortalRequest = ReadCount(u"SELECT COUNT(*) FROM `W_Zonaprop` WHERE `Prop_Codigo` = %1 AND "
                                 u"IFNULL(`ZP_Publicar`, 0) <> 0;"_s.arg(propertyCode)) > 0;
    return LoadExtraDetails(in.BuildingType, propertyCode, in.Details);
}

QString FieldCaption(const QString& field, int buildingType)
{
    static const QHash<QString, QString> captions = {
        {u"edtPropCodigoInterno"_s, u"Código interno"_s},
        {u"edtPropPrecio"_s, u"Precio"_s},
        {u"edtPropNum"_s, u"Número"_s},
        {u"edtPropPiso"_s, u"Piso"_s},
        {u"edtPropOtros"_s, u"Resto"_s},
        {u"edtPropSupCub"_s, u"Sup. Cubierta"_s},
        {u"edtPropPlantas"_s, u"Plantas"_s},
        {u"edtPropBanos"_s, u"Baños"_s},
        {u"edtPropAno"_s, u"Año"_s},
        {u"mmoPropDesc"_s, u"Descripción"_s},
        {u"mmoPropInfoPrivada"_s, u"Notas de la propiedad"_s},
        {u"edtPropUbicacion"_s, u"Ubicación"_s},
    };
    if (field == u"edtPropDto"_s)
        return UnitLabel(buildingType);
    if (field == u"edtPropSupTno"_s)
        return SurfaceLabel(buildingType, false);
    if (field == u"edtPropDorm"_s)
        return RoomsLabel(buildingType, true);
    return captions.value(field, field);
}

void NormaliseInput(TOwnPropertyInput& input)
{
    for (QString* text : {&input.InternalCode, &input.Price, &input.Number, &input.Rest, &input.LandSurface,
                          &input.CoveredSurface, &input.Floors, &input.Rooms, &input.Baths, &input.Year, &input.Video})
        *text = text->trimmed();
    input.Floor = input.Floor.trimmed().toUpper();
    input.Unit = input.Unit.trimmed().toUpper();
    input.Description = KeepGeneralText(StripTags(input.Description)).trimmed();
    input.PrivateNotes = KeepGeneralText(StripTags(input.PrivateNotes)).trimmed();
    for (TExtraDetail& d : input.Details)
        d.Text = d.Text.trimmed();
}

bool IsPriceAbove(double price, double exchangeRate, int operation)
{
    static const QList<int> rentals = {2, 3, 4, 6, 7, 8, 9, 16};
    const double floor = rentals.contains(operation) ? 399 : 9999;
    return price * exchangeRate > floor;
}

double ExchangeRate(int currency)
{
    const QString rate =
        ReadValue(u"W_Monedas"_s, u"Moneda_Cotizacion"_s, u"Moneda_Codigo"_s, QString::number(currency));
    return ParseDotFloat(rate);
}

bool ValidateOwnProperty(const TOwnPropertyInput& in, double exchangeRate, TValidationFailure& failure,
                         const std::function<QString(const QString& field)>& caption)
{
    const auto captionOf = [&](const QString& field) {
        const QString shown = caption ? caption(field) : QString();
        return shown.isEmpty() ? FieldCaption(field, in.BuildingType) : shown;
    };
    const auto fail = [&](const QString& field, const QString& message) {
        failure = {field, message.isEmpty() ? OwnPropertyText::InvalidField(captionOf(field)) : message};
        return false;
    };
    const auto optional = [](const QString& text, auto&& test) { return text.isEmpty() || test(text); };
    const auto digits = [](int length) {
        return [length](const QString& text) { return IsDigits(text, length, true); };
    };

    if (!optional(in.InternalCode, IsGeneralText))
        return fail(u"edtPropCodigoInterno"_s, {});
    if (!IsDigits(in.Price, kPriceLength, true) ||
        !IsPriceAbove(ParseThousandsFloat(in.Price), exchangeRate, in.Operation))
        return fail(u"edtPropPrecio"_s, OwnPropertyText::InvalidPrice);
    if (in.OnStreet ? !digits(kNumberLength)(in.Number) : !optional(in.Number, digits(kNumberLength)))
        return fail(u"edtPropNum"_s, {});
    if (FieldApplies(u"Piso"_s, in.BuildingType) && !IsFloorText(in.Floor))
        return fail(u"edtPropPiso"_s, OwnPropertyText::InvalidFloor);
    if (!optional(in.Unit, IsAlphanumeric))
        return fail(u"edtPropDto"_s, {});
    if (!optional(in.Rest, IsGeneralText))
        return fail(u"edtPropOtros"_s, {});
    if (!optional(in.LandSurface, digits(kSurfaceLength)))
        return fail(u"edtPropSupTno"_s, {});
    if (!optional(in.CoveredSurface, digits(kSurfaceLength)))
        return fail(u"edtPropSupCub"_s, {});
    if (!optional(in.Floors, [](const QString& t) { return IsDigits(t, kCountLength) && t.toLongLong() >= 1; }))
        return fail(u"edtPropPlantas"_s, {});
    if (!optional(in.Rooms, [](const QString& t) { return IsDigits(t, kCountLength); }))
        return fail(u"edtPropDorm"_s, {});
    if (!optional(in.Baths, [](const QString& t) { return IsDigits(t, kCountLength); }))
        return fail(u"edtPropBanos"_s, {});
    if (!optional(in.Year, digits(kYearLength)))
        return fail(u"edtPropAno"_s, {});
    if (!optional(in.Description, IsGeneralText))
        return fail(u"mmoPropDesc"_s, {});
    if (!optional(in.PrivateNotes, IsGeneralText))
        return fail(u"mmoPropInfoPrivada"_s, {});
    if (!in.Location.Complete())
        return fail(u"edtPropUbicacion"_s, OwnPropertyText::MissingLocation);
    for (const TExtraDetail& d : in.Details)
        if (!d.IsCombo && !optional(d.Text.trimmed(), IsGeneralText)) {
            failure = {u"detail:%1"_s.arg(d.Code), OwnPropertyText::InvalidField(d.Caption)};
            return false;
        }
    return true;
}

bool SaveOwnProperty(TOwnPropertyInput in, int currentUser, int currentRole, const TPhotoCommit* photos, int& savedCode,
                     QString& error, QString* failedField, const std::function<QString(const QString& field)>& caption)
{
    savedCode = 0;
    error.clear();
    return Guarded(u"$2080"_s, false, [&] {
        TDataBase* db = DB();
        if (!db) {
            error = OwnPropertyText::CouldNotSave;
            return false;
        }
        NormaliseInput(in);
        QString generation;
        if (!NewGenerationCode(u"W_Propiedades"_s, u"Prop_CodigoGeneracion"_s, generation)) {
            error = OwnPropertyText::CouldNotSave;
            return false;
        }
        const bool fresh = in.Mode == EditNew || in.Mode == EditCopy;
        if (fresh) {
            in.GenerationCode = generation;
            if (in.Code <= 0 && !NextLocalCode(u"W_Propiedades"_s, u"Prop_Codigo"_s, in.Code)) {
                error = OwnPropertyText::CouldNotCreate;
                return false;
            }
        }
        TValidationFailure failure;
        if (!ValidateOwnProperty(in, ExchangeRate(in.Currency), failure, caption)) {
            error = failure.Message;
            if (failedField)
                *failedField = failure.Field;
            return false;
        }
        const int code = in.Code;
        const int agency = CurrentAgencyCode();
        int address = 1, exact = 0;
        AddressColumns(in.PublishOnService ? in.AddressLevel : AddressRounded, address, exact);
        const bool ambientes = RoomsAreAmbientes(in.BuildingType);
        const QString rooms = NumberValue(in.Rooms);
        const QString entry = fresh || !in.EntryDate.isValid() ? u"NULL"_s : Quoted(DateTimeToDbText(in.EntryDate));
        const QString term =
            TermApplies(in.Operation, TTermRule::Card) ? QString::number(in.Term > 0 ? in.Term : 30) : u"NULL"_s;
        const QString price = QString::number(qint64(ParseThousandsFloat(in.Price)));
        const QStringList values = {
            QString::number(code),
            QString::number(agency),
            QString::number(in.BuildingType),
            QString::number(in.Operation),
            term,
            in.OnStreet ? QString::number(in.Location.Street) : u"0"_s,
            in.OnStreet ? u"0"_s : QString::number(in.Location.Neighbourhood),
            NumberValue(in.Number),
            TextValue(in.Floor),
            TextValue(in.Unit),
            TextValue(in.Rest),
            QString::number(in.Location.Country),
            QString::number(in.Location.Province),
            QString::number(in.Location.District),
            QString::number(in.Location.Locality),
            QString::number(in.Location.Zone),
            in.Latitude.isEmpty() ? u"NULL"_s : SqlValueText(in.Latitude),
            in.Longitude.isEmpty() ? u"NULL"_s : SqlValueText(in.Longitude),
            NumberValue(in.Floors),
            ambientes ? u"NULL"_s : rooms,
            ambientes ? rooms : u"NULL"_s,
            NumberValue(in.Baths),
            Flag(in.Dependency),
            Flag(in.Phone),
            Flag(in.Garage),
            Flag(in.BrandNew),
            NumberValue(in.LandSurface),
            NumberValue(in.CoveredSurface),
            price,
            TextValue(NormaliseLineBreaks(in.Description)),
            TextValue(in.Video),
            entry,
            u"NULL"_s,
            NumberValue(in.Year),
            QString::number(in.Currency),
            u"1"_s, // a current listing, not withdrawn
            QString::number(in.Standby),
            QString::number(in.Public),
            Flag(in.PublishOnService),
            QString::number(address),
            QString::number(exact),
            u"0"_s,
            TextValue(in.InternalCode),
            QString::number(currentUser),
            QString::number(currentRole == 3 && in.Seller > 0 ? in.Seller : currentUser),
            TextValue(in.PrivateNotes),
            u"2"_s,
            Quoted(in.GenerationCode.isEmpty() ? generation : in.GenerationCode),
            u"\"AM\""_s,
        };
        QString sql =
            u"INSERT OR REPLACE INTO `W_Propiedades` (`Prop_Codigo`, `Inmo_Codigo`, `Edif_Codigo`, `Situ_Codigo`, "
            u"`Prop_Plazo`, `Calle_Codigo`, `Barrio_Codigo`, `Prop_Numero`, `Prop_Piso`, `Prop_Dto`, `Prop_Resto`, "
            u"`Pais_Codigo`, `Prov_Codigo`, `Part_Codigo`, `Loc_Codigo`, `Zon_Codigo`, `Prop_Latitud`, "
            u"`Prop_Longitud`, `Prop_Plantas`, `Prop_Dorm`, `Prop_Ambientes`, `Prop_Banos`, `Prop_Depn`, `Prop_Te`, "
            u"`Prop_Cochera`, `Prop_aEstrenar`, `Prop_SupTno`, `Prop_SupCub`, `Prop_Precio`, `Prop_Descripcion`, "
            u"`Prop_Video`, `Prop_FechaAlta`, `Prop_FechaMod`, `Prop_Year`, `Moneda_Codigo`, `Baja_Codigo`, "
            u"`Standby_Codigo`, `Prop_Publica`, `publicarEnKorvel`, `publicarDireccion`, `publicarDireccionExacta`, "
            u"`publicarRevista`, `Prop_CodigoInterno`, `Usuario_Codigo`, `Prop_Vendedor`, "
            u"`Prop_InformacionPrivada`, `Prop_Estado`, `Prop_CodigoGeneracion`, `Sync_Tipo`) VALUES ("_s +
            values.join(u", "_s) + u");"_s;
        sql += ChildStatements(in, code);
        sql += PortalStatement(in, code, agency);
        if (photos && photos->Statements)
            sql += photos->Statements(code);
        if (!db->ExecNoCount(sql)) {
            error = OwnPropertyText::CouldNotSave;
            return false;
        }
        if (photos && photos->AfterCommit)
            photos->AfterCommit(code);
        savedCode = code;
        return true;
    });
}

bool SuspendProperty(int propertyCode, int reason, int currentUser)
{
    return Guarded(u"$2079"_s, false, [&] {
        TDataBase* db = DB();
        int changed = 0;
        return db &&
               db->Exec(u"UPDATE `W_Propiedades` SET `Standby_Codigo` = %1, `Usuario_Codigo` = %2, `Sync_Tipo` = "
                        u"\"AM\" WHERE `Prop_Codigo` = %3 AND `Inmo_Codigo` = %4;"_s.arg(reason)
                            .arg(currentUser)
                            .arg(propertyCode)
                            .arg(CurrentAgencyCode()),
                        changed) &&
               changed == 1;
    });
}

bool WithdrawProperty(int propertyCode, int reason, int currentUser, QString& error)
{
    error.clear();
    const bool ok = Guarded(u"$2078"_s, false, [&] {
        TDataBase* db = DB();
        if (!db)
            return false;
        const int agency = CurrentAgencyCode();
        int changed = 0;
        if (!IsLocalCode(propertyCode)) {
            return db->Exec(u"UPDATE `W_Propiedades` SET `Baja_Codigo` = %1, `Prop_Estado` = 1, `Usuario_Codigo` = "
                            u"%2, `Sync_Tipo` = \"AM\" WHERE `Prop_Codigo` = %3 AND `Inmo_Codigo` = %4;"_s.arg(reason)
                                .arg(currentUser)
                                .arg(propertyCode)
                                .arg(agency),
                            changed) &&
                   changed == 1;
        }
        // Never sent: nothing of it exists on the service, so it goes entirely, children
        // first and in one transaction; its files only once the rows are gone for good.
        std::unique_ptr<TResultSet> photos;
        if (!QueryRows(u"$2078"_s, u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` = %1;"_s.arg(propertyCode),
                       photos))
            return false;
        QStringList files;
        for (photos->First(); !photos->Eof(); photos->Next())
            files << PhotoFileName(propertyCode, photos->AsInt64(u"Foto_Codigo"_s));
        QString sql;
        for (const char* child : {"W_MasDatos", "W_Propietarios", "W_Zonaprop", "W_Fotos"})
            sql += u"DELETE FROM `%1` WHERE `Prop_Codigo` = %2;"_s.arg(QLatin1StringView(child)).arg(propertyCode);
        sql += u"DELETE FROM `W_Propiedades` WHERE `Prop_Codigo` = %1 AND `Inmo_Codigo` = %2;"_s.arg(propertyCode)
                   .arg(agency);
        if (!db->ExecNoCount(sql))
            return false;
        for (const QString& file : files)
            if (QFile::exists(file) && !QFile::remove(file))
                WriteLog(u"$2078"_s, u"Cant't delete \""_s + file + u"\""_s);
        return true;
    });
    if (!ok)
        error = OwnPropertyText::CouldNotDelete;
    return ok;
}

bool ReassignSeller(int from, int to, int& changed)
{
    changed = 0;
    return Guarded(u"$2073"_s, false, [&] {
        TDataBase* db = DB();
        if (!db || to <= 0)
            return false;
        QString restriction;
        if (from == -2)
            restriction = u" AND IFNULL(`Prop_Vendedor`, 0) = 0"_s;
        else if (from > 0)
            restriction = u" AND `Prop_Vendedor` = %1"_s.arg(from);
        return db->Exec(u"UPDATE `W_Propiedades` SET `Prop_Vendedor` = %1, `Sync_Tipo` = CASE WHEN `Sync_Tipo` = "
                        u"\"B\" THEN \"B\" ELSE \"AM\" END WHERE `Inmo_Codigo` = %2%3;"_s.arg(to)
                            .arg(CurrentAgencyCode())
                            .arg(restriction),
                        changed);
    });
}

bool LoadSellers(int agencyCode, QList<TListEntry>& sellers)
{
    sellers.clear();
    std::unique_ptr<TResultSet> rows;
    if (!QueryRows(u"$2035"_s,
                   u"SELECT `Usuario_Codigo` AS c, `Usuario_Nombre` AS n FROM `W_Usuarios` WHERE `Inmo_Codigo` = %1 "
                   u"AND `Usuario_Activo` = 1 AND IFNULL(`Usuario_Estado`, \"OK\") <> \"B\" "
                   u"ORDER BY `Usuario_Nombre` COLLATE NOCASE;"_s.arg(agencyCode),
                   rows))
        return false;
    for (rows->First(); !rows->Eof(); rows->Next())
        sellers.push_back({rows->AsInteger(u"c"_s), rows->AsString(u"n"_s).trimmed()});
    return true;
}

bool LoadOwners(int agencyCode, QList<TListEntry>& owners)
{
    owners.clear();
    std::unique_ptr<TResultSet> rows;
    if (!QueryRows(u"$2036"_s,
                   u"SELECT `Cli_Codigo` AS c, `Cli_Nombre` AS n FROM `W_Clientes` WHERE `Inmo_Codigo` = %1 "
                   u"AND `Cli_Tipo` = 1 AND IFNULL(`Cli_Activo`, 1) = 1 AND IFNULL(`Cli_Estado`, \"OK\") <> \"B\" "
                   u"ORDER BY `Cli_Nombre` COLLATE NOCASE;"_s.arg(agencyCode),
                   rows))
        return false;
    for (rows->First(); !rows->Eof(); rows->Next())
        owners.push_back({rows->AsInteger(u"c"_s), rows->AsString(u"n"_s).trimmed()});
    return true;
}

int PropertyOwner(int propertyCode)
{
    return int(ReadCount(u"SELECT IFNULL(MAX(`Prot_Codigo`), 0) FROM `W_Propietarios` WHERE `Prop_Codigo` = %1 "
                         u"AND IFNULL(`Sync_Tipo`, \"\") <> \"B\";"_s.arg(propertyCode)));
}
