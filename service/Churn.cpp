#include "service/Churn.h"

#include "service/MasterStore.h"
#include "service/Server.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <set>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Descriptions as agents write them, with the characters a careless copy brings along.
const char16_t* const kDescriptions[] = {
    u"Reciclado a nuevo, luminoso, a metros de la estación.",
    u"Oportunidad ~ dueño vende, escucha ofertas razonables.",
    u"Frente al parque: \"vista abierta\", balcón aterrazado y parrilla.",
    u"Ñandúes en el barrio; a 5' de la ruta \\ acceso pavimentado.",
    u"Apto crédito.\nEscritura inmediata.\tConsultar condiciones.",
};

} // namespace

// The work of one batch: the operations pick their targets at random among the other
// agencies' rows and note every group they touch.
struct TChurn::TBatch {
    TMasterStore& store;
    TServiceDb& db;
    std::mt19937& random;
    int spared;
    QString now = TMasterStore::Now();
    std::set<TChange> changes;
    QStringList filesToRemove; // removed after the commit: a rolled-back batch keeps its photos
    int operations = 0;

    int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(random); }

    qint64 Scalar(const QString& sql, const std::vector<QVariant>& values = {})
    {
        return db.Scalar(sql, values, qint64(0)).toLongLong();
    }

    // A property of another agency; 0 when there is none.
    qint64 SomeProperty()
    {
        const qint64 count = Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo`<>?;"_s, {spared});
        if (count == 0)
            return 0;
        return Scalar(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Inmo_Codigo`<>? ORDER BY `Prop_Codigo` "
                      u"LIMIT 1 OFFSET ?;"_s,
                      {spared, qint64(Int(0, int(std::min<qint64>(count, 1 << 30)) - 1))});
    }

    int OwnerOf(qint64 property)
    {
        return int(Scalar(u"SELECT `Inmo_Codigo` FROM `W_Propiedades` WHERE `Prop_Codigo`=?;"_s, {property}));
    }

    // Everything a client keeps of a property is replaced as one group.
    void Touched(qint64 property, int owner)
    {
        changes.insert({u"W_Propiedades"_s, property, -1});
        changes.insert({u"W_Fotos"_s, property, -1});
        changes.insert({u"W_MasDatos"_s, property, -1});
        changes.insert({u"W_Propietarios"_s, property, owner});
        changes.insert({u"W_Zonaprop"_s, property, owner});
    }

    void AddListing(const QByteArray& samplePhoto)
    {
        const qint64 model = SomeProperty();
        if (model == 0)
            return;
        const int agency = OwnerOf(model);
        const qint64 band = qint64(agency) * 100000;
        const qint64 last =
            Scalar(u"SELECT MAX(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Prop_Codigo` BETWEEN ? AND ?;"_s,
                   {band, band + 99999});
        const qint64 code = std::max(last, band) + 1;
        if (code > band + 99999)
            return;
        // The new listing is modelled on one the agency already has, as agents copy theirs.
        QStringList names, values;
        for (const TColumnInfo& column : db.Columns(u"W_Propiedades"_s)) {
            const QString& n = column.name;
            names << u'`' + n + u'`';
            if (n == u"Prop_Codigo"_s)
                values << QString::number(code);
            else if (n == u"Prop_FechaAlta"_s || n == u"Prop_FechaMod"_s)
                values << u"'"_s + now + u"'"_s;
            else if (n == u"Prop_Precio"_s)
                values << u"round(coalesce(`Prop_Precio`, 90000) * %1 / 100) * 100"_s.arg(0.8 + Int(0, 40) / 100.0);
            else if (n == u"Prop_Publica"_s || n == u"Baja_Codigo"_s || n == u"Standby_Codigo"_s)
                values << u"1"_s;
            else if (n == u"Prop_Estado"_s)
                values << u"2"_s;
            else if (n == u"Prop_CodigoInterno"_s)
                values << u"'N-%1'"_s.arg(code % 100000);
            else if (n == u"Prop_CodigoGeneracion"_s || n == u"Sync_Tipo"_s)
                values << u"NULL"_s;
            else
                values << u'`' + n + u'`';
        }
        TStatement insert(db.Handle(), u"INSERT INTO `W_Propiedades` (%1) SELECT %2 FROM `W_Propiedades` "
                                       u"WHERE `Prop_Codigo`=?;"_s.arg(names.join(u','), values.join(u',')));
        insert.Bind(model).Run();
        TStatement details(db.Handle(), u"INSERT INTO `W_MasDatos` SELECT ?, `DetalleEdif_Codigo`, `MasDato_Valor`, "
                                        u"NULL FROM `W_MasDatos` WHERE `Prop_Codigo`=?;"_s);
        details.BindAll({code, model}).Run();
        for (int i = Int(0, 3); i > 0; --i)
            AddPhoto(code, samplePhoto);
        Touched(code, agency);
    }

    void AddPhoto(qint64 property, const QByteArray& samplePhoto)
    {
        const qint64 code = Scalar(u"SELECT MAX(`Foto_Codigo`) FROM `W_Fotos`;"_s) + 1;
        const qint64 order =
            Scalar(u"SELECT COALESCE(MAX(`Foto_Orden`) + 1, 0) FROM `W_Fotos` WHERE `Prop_Codigo`=?;"_s, {property});
        TStatement insert(db.Handle(), u"INSERT INTO `W_Fotos` VALUES (?, ?, ?, NULL);"_s);
        insert.BindAll({code, property, order}).Run();
        if (!samplePhoto.isEmpty()) {
            const QString path = store.PhotoPath(property, code);
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write(samplePhoto);
        }
        changes.insert({u"W_Fotos"_s, property, -1});
    }

    void ChangeListing()
    {
        const qint64 code = SomeProperty();
        if (code == 0)
            return;
        QString set = u"`Prop_Precio`=round(coalesce(`Prop_Precio`, 90000) * %1 / 100) * 100, `Prop_FechaMod`=?"_s.arg(
            0.9 + Int(0, 20) / 100.0);
        std::vector<QVariant> values{now};
        if (Chance(0.4)) {
            set += u", `Prop_Descripcion`=?"_s;
            values.push_back(QString::fromUtf16(kDescriptions[Int(0, int(std::size(kDescriptions)) - 1)]));
        }
        // A listing the agency stops sharing leaves every other agency's view.
        if (Chance(0.25))
            set += u", `Prop_Publica`=1-coalesce(`Prop_Publica`, 0)"_s;
        values.push_back(code);
        TStatement update(db.Handle(), u"UPDATE `W_Propiedades` SET %1 WHERE `Prop_Codigo`=?;"_s.arg(set));
        update.BindAll(values).Run();
        Touched(code, OwnerOf(code));
    }

    void Suspend()
    {
        const qint64 code = SomeProperty();
        if (code == 0)
            return;
        TStatement update(db.Handle(),
                          u"UPDATE `W_Propiedades` SET `Standby_Codigo`=CASE WHEN coalesce(`Standby_Codigo`, 1)=1 "
                          u"THEN ? ELSE 1 END, `Prop_FechaMod`=? WHERE `Prop_Codigo`=?;"_s);
        update.BindAll({Int(2, 4), now, code}).Run();
        Touched(code, OwnerOf(code));
    }

    void Withdraw()
    {
        const qint64 code = SomeProperty();
        if (code == 0)
            return;
        const int owner = OwnerOf(code);
        const bool referenced =
            Scalar(u"SELECT (SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Prop_Codigo`=?1) + (SELECT COUNT(*) "
                   u"FROM `W_Marcas` WHERE `Prop_Codigo`=?1);"_s,
                   {code}) > 0;
        if (!referenced && Chance(0.3)) {
            // Gone from the service altogether, with everything hanging from it.
            TStatement photos(db.Handle(), u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo`=?;"_s);
            photos.Bind(code);
            while (photos.Step())
                filesToRemove << store.PhotoPath(code, photos.Int(0));
            for (const QString& table :
                 {u"W_Fotos"_s, u"W_MasDatos"_s, u"W_Propietarios"_s, u"W_Zonaprop"_s, u"W_Propiedades"_s}) {
                TStatement remove(db.Handle(), u"DELETE FROM `%1` WHERE `Prop_Codigo`=?;"_s.arg(table));
                remove.Bind(code).Run();
            }
        } else {
            TStatement update(db.Handle(), u"UPDATE `W_Propiedades` SET `Baja_Codigo`=?, `Prop_Estado`=1, "
                                           u"`Prop_Publica`=?, `Prop_FechaMod`=? WHERE `Prop_Codigo`=?;"_s);
            update.BindAll({Int(2, 6), Chance(0.5) ? 0 : 1, now, code}).Run();
        }
        Touched(code, owner);
    }

    void RemovePhoto()
    {
        const qint64 count = Scalar(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo` IN (SELECT `Prop_Codigo` "
                                    u"FROM `W_Propiedades` WHERE `Inmo_Codigo`<>?);"_s,
                                    {spared});
        if (count == 0)
            return;
        TStatement pick(db.Handle(), u"SELECT `Foto_Codigo`, `Prop_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` IN "
                                     u"(SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Inmo_Codigo`<>?) "
                                     u"ORDER BY `Foto_Codigo` LIMIT 1 OFFSET ?;"_s);
        pick.BindAll({spared, qint64(Int(0, int(std::min<qint64>(count, 1 << 30)) - 1))});
        if (!pick.Step())
            return;
        const qint64 photo = pick.Int(0), property = pick.Int(1);
        TStatement remove(db.Handle(), u"DELETE FROM `W_Fotos` WHERE `Foto_Codigo`=?;"_s);
        remove.Bind(photo).Run();
        filesToRemove << store.PhotoPath(property, photo);
        changes.insert({u"W_Fotos"_s, property, -1});
    }

    void Message()
    {
        const qint64 code = Scalar(u"SELECT MAX(`Msg_Codigo`) FROM `W_Mensajes`;"_s) + 1;
        // Most news goes to every agency; some is for one of the others only.
        int agency = -1;
        if (Chance(0.3)) {
            if (const qint64 property = SomeProperty())
                agency = OwnerOf(property);
        }
        TStatement insert(db.Handle(), u"INSERT INTO `W_Mensajes` VALUES (?, ?, ?, ?, ?, 1);"_s);
        insert
            .BindAll({code, agency, u"Novedades de la red %1"_s.arg(code),
                      QString::fromUtf16(kDescriptions[Int(0, int(std::size(kDescriptions)) - 1)]), now})
            .Run();
        changes.insert({u"W_Mensajes"_s, code, agency});
        if (Chance(0.3)) {
            // An old notice is taken down.
            const qint64 old = Scalar(u"SELECT `Msg_Codigo` FROM `W_Mensajes` WHERE `Msg_Activo`=1 AND `Msg_Codigo`<? "
                                      u"ORDER BY `Msg_Codigo` LIMIT 1;"_s,
                                      {code});
            if (old > 0) {
                const int to = int(Scalar(u"SELECT `Inmo_Codigo` FROM `W_Mensajes` WHERE `Msg_Codigo`=?;"_s, {old}));
                TStatement update(db.Handle(), u"UPDATE `W_Mensajes` SET `Msg_Activo`=0 WHERE `Msg_Codigo`=?;"_s);
                update.Bind(old).Run();
                changes.insert({u"W_Mensajes"_s, old, to});
            }
        }
    }
};

TChurn::TChurn(TMasterStore& store, quint32 seed, int sparedAgency)
    : m_store(store), m_spared(sparedAgency), m_random(seed)
{}

TChurn::~TChurn()
{
    Stop();
}

void TChurn::SetPaused(bool paused)
{
    std::lock_guard order(m_randomMutex);
    m_paused = paused;
}

qint64 TChurn::Batch(bool fromTimer)
{
    std::lock_guard order(m_randomMutex);
    if (fromTimer && m_paused)
        return 0;
    // New photos are copies of one the service already has, so that they can be fetched.
    if (m_samplePhoto.isEmpty() && !m_lookedForPhoto) {
        m_lookedForPhoto = true;
        QDirIterator it(m_store.FilePath(u"photos"_s), {u"*.jpg"_s}, QDir::Files, QDirIterator::Subdirectories);
        if (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly))
                m_samplePhoto = file.readAll();
        }
    }

    std::lock_guard lock(m_store.Db().Mutex());
    TServiceDb& db = m_store.Db();
    TBatch batch{m_store, db, m_random, m_spared};
    qint64 version = 0;
    {
        TServiceDb::Transaction transaction(db);
        const int weights[] = {2, 3, 1, 1, 2, 1, 1};
        std::discrete_distribution<int> kind(std::begin(weights), std::end(weights));
        for (int i = batch.Int(3, 8); i > 0; --i) {
            switch (kind(m_random)) {
            case 0:
                batch.AddListing(m_samplePhoto);
                break;
            case 1:
                batch.ChangeListing();
                break;
            case 2:
                batch.Suspend();
                break;
            case 3:
                batch.Withdraw();
                break;
            case 4:
                if (const qint64 property = batch.SomeProperty())
                    batch.AddPhoto(property, m_samplePhoto);
                break;
            case 5:
                batch.RemovePhoto();
                break;
            default:
                batch.Message();
                break;
            }
        }
        version = m_store.RecordChanges(batch.changes);
        transaction.Commit();
    }
    for (const QString& path : batch.filesToRemove)
        QFile::remove(path);
    ++m_batches;
    ServiceLog(u"churn: %1 changes, data version %2"_s.arg(batch.changes.size()).arg(version));
    return version;
}

void TChurn::Start(int seconds)
{
    Stop();
    {
        std::lock_guard lock(m_waitMutex);
        m_stop = false;
    }
    m_thread = std::thread([this, seconds] {
        std::unique_lock lock(m_waitMutex);
        while (!m_wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_stop; })) {
            lock.unlock();
            try {
                Batch(true);
            } catch (const std::exception& e) {
                ServiceLog(u"churn failed: "_s + QString::fromUtf8(e.what()));
            }
            lock.lock();
        }
    });
}

void TChurn::Stop()
{
    {
        std::lock_guard lock(m_waitMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}
