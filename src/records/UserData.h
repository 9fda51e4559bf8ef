#pragma once

#include <QString>

// A user of the agency: the people who log in. Role 1 "Carga" enters data, 2 "Consulta"
// only reads, 3 "Administrador" is the agency's main user.
struct TUserData {
    int Code = 0;
    QString Login;    // trimmed, lower case
    QString Password; // MD5 digest as stored
    int Role = 2;
    QString Name;
    QString Address;
    QString PostalCode;
    QString Locality;
    QString Phone;
    QString Email;
    QString State;
    int AgencyCode = 0;
    // The service lets this user in on the stored password when it cannot confirm it.
    bool LocalLoginAllowed = false;
};

// "$2033": one user of the agency by code. Only users in state "OK" or "AM" exist.
bool LoadUser(int agencyCode, int userCode, TUserData& user);
// The active user of the agency with this login (compared in lower case).
bool LoadUserByLogin(int agencyCode, const QString& login, TUserData& user);
// "$2043": the code of another user of the agency who already has this login, 0 when
// none does, -1 when the table cannot be read.
int LoginUsedByOtherUser(int agencyCode, const QString& login, int exceptUserCode);
// Login and password digest after a change the service has already made; the row keeps
// its state, since there is nothing left to send.
bool UpdateUserCredentials(int userCode, const QString& login, const QString& passwordDigest);
