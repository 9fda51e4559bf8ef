#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

// The agency's own listings as the card edits them: what the form holds, the checks a
// save must pass, and the writes that mark every change for the next upload.

enum TEditMode { EditNone = 0, EditNew = 1, EditModify = 2, EditCopy = 3 };

// Status letters of the agency's rows: "AM" waits to be sent, "B" is a deletion the
// service must still make.
inline const QString kPendingMark = QStringLiteral("AM");
inline const QString kDeletionMark = QStringLiteral("B");

// The three address levels of the publication panel, as the combo lists them.
enum TAddressLevel { AddressRounded = 0, AddressExact = 1, AddressNone = 2 };
// publicarDireccion and publicarDireccionExacta for a level, and back.
void AddressColumns(int level, int& address, int& exact);
int AddressLevelOf(int address, int exact);

// One extra detail of the building type (W_DetalleEdif) with the property's value.
struct TExtraDetail {
    int Code = 0;
    QString Caption;
    bool IsCombo = false;
    QStringList Options; // COMBO: the "/"-separated options
    QString Text;        // TEXT: the value
    int Option = -1;     // COMBO: 0-based option, -1 none
};

// "$2074": the details of a building type, with the values stored for the property when
// code is given (0: the empty details). Rows marked for deletion are not values.
bool LoadExtraDetails(int buildingType, int propertyCode, std::vector<TExtraDetail>& details);

// The location the location dialog chose: the seven codes and the street or
// neighbourhood name shown in the form.
struct TPropertyLocation {
    int Country = 0, Province = 0, District = 0, Locality = 0, Zone = 0;
    int Street = 0, Neighbourhood = 0;
    QString Path;       // "Argentina > Buenos Aires > ..." as the form shows it
    QString StreetName; // the street's or neighbourhood's name
    // The zone may stay undefined.
    bool Complete() const
    {
        return Country > 0 && Province > 0 && District > 0 && Locality > 0 && (Street > 0 || Neighbourhood > 0);
    }
};

// Everything the form holds, as typed (texts) or chosen (codes).
struct TOwnPropertyInput {
    int Mode = EditNew;
    int Code = 0;         // local code for new and copy, the row's for modify
    int BuildingType = 1; // Edif_Codigo
    int Operation = 1;    // Situ_Codigo
    int Currency = 1;     // Moneda_Codigo
    int Term = 30;        // days
    int Standby = 1;      // Standby_Codigo
    int Public = 1;       // Prop_Publica: 0 private, 1 public
    bool OnStreet = true; // street, else neighbourhood
    TPropertyLocation Location;
    QString Latitude, Longitude; // the row's, not edited here
    QString InternalCode, Price, Number, Floor, Unit, Rest, LandSurface, CoveredSurface, Floors, Rooms, Baths, Year;
    QString Description, PrivateNotes, Video;
    bool Dependency = false, Phone = false, Garage = false, BrandNew = false;
    QDateTime EntryDate;    // modify: the row's entry date
    QString GenerationCode; // modify: the row's
    int Seller = 0;         // the seller combo
    int Owner = 0;          // client code; 0 none
    bool PublishOnService = true;
    int AddressLevel = AddressRounded;
    bool PortalRequest = false;
    std::vector<TExtraDetail> Details;
};

// A stored property as the form starts from it when modifying or copying: its row, owner
// and extra details. False when the row cannot be read.
bool LoadOwnPropertyInput(int propertyCode, TOwnPropertyInput& input);

// The first field a save refuses: its control's name and the message for the user.
struct TValidationFailure {
    QString Field;
    QString Message;
};

// The caption of a field as the form labels it; the messages name it.
QString FieldCaption(const QString& field, int buildingType);

// Trims every field; floor and unit upper-cased; description and private notes lose tags
// and characters outside general text.
void NormaliseInput(TOwnPropertyInput& input);

// The rules of a save in their order; true when all pass, else the first failure.
// The exchange rate is Moneda_Cotizacion of the chosen currency.
// caption, when given, names a field as the form labels it (empty: the default caption).
bool ValidateOwnProperty(const TOwnPropertyInput& input, double exchangeRate, TValidationFailure& failure,
                         const std::function<QString(const QString& field)>& caption = {});
// The price in the chosen currency, converted, is high enough for the operation.
bool IsPriceAbove(double price, double exchangeRate, int operation);
// Moneda_Cotizacion; 0 when unknown.
double ExchangeRate(int currency);

// What the photo area does inside a save or a cancel. The photo store plugs in here; until
// then a property is saved without photo changes.
struct TPhotoCommit {
    // Statements that commit the edit's photo changes, run in the save's transaction.
    std::function<QString(int propertyCode)> Statements;
    // After the transaction has committed: the file work (purged files, rotations).
    std::function<void(int propertyCode)> AfterCommit;
    // A cancel: the edit's photo changes undone.
    std::function<void()> Undo;
};

// Saves the property: row, owner link, extra details, portal request and photo changes
// in one transaction, every row marked for upload. False with the user's message.
// failedField, when given, receives the control's name of a field the checks refused.
bool SaveOwnProperty(TOwnPropertyInput input, int currentUser, int currentRole, const TPhotoCommit* photos,
                     int& savedCode, QString& error, QString* failedField = nullptr,
                     const std::function<QString(const QString& field)>& caption = {});

// "$2079": suspends with a standby reason; marked for upload.
bool SuspendProperty(int propertyCode, int reason, int currentUser);
// "$2078": a property the service has is marked withdrawn with the reason; a local one
// (never sent) goes completely, its children first, its photo files after the commit.
bool WithdrawProperty(int propertyCode, int reason, int currentUser, QString& error);

// Every seller's properties (from -1: all, -2: those without one) go to another seller;
// marked for upload.
bool ReassignSeller(int from, int to, int& changed);

// One entry of the seller and owner combos.
struct TListEntry {
    int Code = 0;
    QString Name;
};
// "$2035": the agency's active users, by name.
bool LoadSellers(int agencyCode, QList<TListEntry>& sellers);
// The agency's active owners (clients of type 1), by name.
bool LoadOwners(int agencyCode, QList<TListEntry>& owners);
// The owner linked to the property, 0 when none (a link marked for deletion is none).
int PropertyOwner(int propertyCode);

// The user-visible texts of the editing.
namespace OwnPropertyText {
QString InvalidField(const QString& caption);
extern const QString InvalidPrice;
extern const QString InvalidFloor;
extern const QString MissingLocation;
extern const QString CouldNotCreate;
extern const QString CouldNotSave;
extern const QString CouldNotDelete;
extern const QString CouldNotSuspend;
extern const QString NoPermission;
extern const QString RecoveryRequested;
extern const QString PhotosMustBeDownloaded;
} // namespace OwnPropertyText
