#include "service/DemoData.h"

#include "service/Schema.h"

#include "core/MiscFunc.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <variant>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// ---------------------------------------------------------------------------------------
// Reference data of Argentina

struct Partido {
    const char* name;
    double lat;
    double lon;
    std::vector<const char*> localities;
};

struct Province {
    const char* name;
    std::vector<Partido> partidos;
};

const std::vector<Province>& Provinces()
{
    static const std::vector<Province> provinces = {
        {"Buenos Aires",
         {
             {"Vicente López",
              -34.525,
              -58.490,
              {"Olivos", "Florida", "Munro", "Vicente López", "La Lucila", "Villa Martelli", "Carapachay"}},
             {"San Isidro", -34.475, -58.530, {"San Isidro", "Martínez", "Acassuso", "Beccar", "Boulogne"}},
             {"San Fernando", -34.442, -58.560, {"San Fernando", "Victoria", "Virreyes"}},
             {"Tigre",
              -34.426,
              -58.580,
              {"Tigre", "Don Torcuato", "General Pacheco", "Benavídez", "Rincón de Milberg", "Nordelta"}},
             {"Pilar", -34.459, -58.914, {"Pilar", "Del Viso", "Presidente Derqui", "Manzanares", "Villa Rosa"}},
             {"Escobar", -34.348, -58.795, {"Belén de Escobar", "Garín", "Ingeniero Maschwitz", "Maquinista Savio"}},
             {"General San Martín", -34.575, -58.537, {"San Martín", "Villa Ballester", "José León Suárez"}},
             {"Tres de Febrero", -34.603, -58.563, {"Caseros", "Ciudadela", "Santos Lugares", "Ciudad Jardín"}},
             {"Morón", -34.653, -58.620, {"Morón", "Castelar", "Haedo", "El Palomar"}},
             {"Hurlingham", -34.588, -58.640, {"Hurlingham", "William C. Morris", "Villa Tesei"}},
             {"Ituzaingó", -34.658, -58.667, {"Ituzaingó", "Villa Udaondo"}},
             {"La Matanza", -34.670, -58.563, {"San Justo", "Ramos Mejía", "Isidro Casanova", "González Catán"}},
             {"Lomas de Zamora", -34.760, -58.406, {"Lomas de Zamora", "Banfield", "Temperley", "Turdera"}},
             {"Lanús", -34.700, -58.392, {"Lanús Este", "Lanús Oeste", "Remedios de Escalada"}},
             {"Avellaneda", -34.662, -58.365, {"Avellaneda", "Sarandí", "Wilde", "Dock Sud"}},
             {"Quilmes", -34.720, -58.254, {"Quilmes", "Bernal", "Don Bosco", "Ezpeleta"}},
             {"Berazategui", -34.765, -58.212, {"Berazategui", "Hudson", "Ranelagh"}},
             {"Almirante Brown", -34.830, -58.390, {"Adrogué", "Burzaco", "Longchamps"}},
             {"Esteban Echeverría", -34.815, -58.470, {"Monte Grande", "Canning", "Luis Guillón"}},
             {"Ezeiza", -34.853, -58.523, {"Ezeiza", "Tristán Suárez"}},
             {"Merlo", -34.665, -58.728, {"Merlo", "San Antonio de Padua"}},
             {"Moreno", -34.650, -58.790, {"Moreno", "Paso del Rey", "La Reja"}},
             {"Luján", -34.570, -59.105, {"Luján", "Open Door"}},
             {"San Miguel", -34.543, -58.712, {"San Miguel", "Bella Vista", "Muñiz"}},
             {"Malvinas Argentinas", -34.495, -58.700, {"Los Polvorines", "Grand Bourg", "Tortuguitas"}},
             {"La Plata", -34.921, -57.954, {"La Plata", "City Bell", "Gonnet", "Villa Elisa"}},
             {"General Pueyrredón", -38.005, -57.542, {"Mar del Plata", "Batán"}},
             {"Bahía Blanca", -38.719, -62.272, {"Bahía Blanca", "Ingeniero White"}},
             {"Tandil", -37.321, -59.133, {"Tandil"}},
         }},
        {"Ciudad Autónoma de Buenos Aires",
         {{"Capital Federal", -34.603, -58.381, {"Palermo",  "Belgrano",      "Recoleta",      "Caballito",
                                                 "Núñez",    "Villa Urquiza", "Villa Crespo",  "Almagro",
                                                 "Flores",   "San Telmo",     "Puerto Madero", "Colegiales",
                                                 "Saavedra", "Villa Devoto",  "Boedo",         "Balvanera",
                                                 "Barracas", "La Boca",       "Retiro",        "San Nicolás"}}}},
        {"Córdoba",
         {{"Capital", -31.420, -64.188, {"Córdoba"}},
          {"Punilla", -31.240, -64.470, {"Villa Carlos Paz", "La Falda", "Cosquín"}}}},
        {"Santa Fe",
         {{"Rosario", -32.944, -60.650, {"Rosario", "Funes"}}, {"La Capital", -31.633, -60.700, {"Santa Fe"}}}},
        {"Mendoza", {{"Capital", -32.889, -68.845, {"Mendoza"}}, {"Godoy Cruz", -32.925, -68.845, {"Godoy Cruz"}}}},
        {"Neuquén",
         {{"Confluencia", -38.952, -68.059, {"Neuquén"}}, {"Lácar", -40.157, -71.353, {"San Martín de los Andes"}}}},
        {"Río Negro", {{"Bariloche", -41.133, -71.310, {"San Carlos de Bariloche"}}}},
        {"Salta", {{"Capital", -24.782, -65.423, {"Salta"}}}},
        {"Tucumán", {{"Capital", -26.808, -65.217, {"San Miguel de Tucumán"}}}},
        {"Entre Ríos", {{"Paraná", -31.732, -60.529, {"Paraná"}}}},
        {"Misiones", {{"Capital", -27.367, -55.896, {"Posadas"}}}},
        {"Chubut", {{"Biedma", -42.769, -65.038, {"Puerto Madryn"}}}},
        {"Catamarca", {}},
        {"Chaco", {}},
        {"Corrientes", {}},
        {"Formosa", {}},
        {"Jujuy", {}},
        {"La Pampa", {}},
        {"La Rioja", {}},
        {"San Juan", {}},
        {"San Luis", {}},
        {"Santa Cruz", {}},
        {"Santiago del Estero", {}},
        {"Tierra del Fuego", {}},
    };
    return provinces;
}

const char* const kZones[] = {"Centro", "Norte", "Sur", "Este", "Oeste", "Barrio Parque", "Bajo", "Alto"};

// Streets are kept as "Surname, Given name"; the card turns them around for display.
const char* const kStreets[] = {
    "Sarmiento, Domingo Faustino",
    "Belgrano, Manuel",
    "Moreno, Mariano",
    "Rivadavia, Bernardino",
    "Mitre, Bartolomé",
    "San Martín, José de",
    "Alvear, Carlos María de",
    "Pueyrredón, Juan Martín de",
    "Saavedra, Cornelio",
    "Castelli, Juan José",
    "Paso, Juan José",
    "Alberdi, Juan Bautista",
    "Echeverría, Esteban",
    "Güemes, Martín Miguel de",
    "Brown, Guillermo",
    "Larrea, Juan",
    "Azcuénaga, Miguel de",
    "Matheu, Domingo",
    "Laprida, Francisco Narciso de",
    "Las Heras, Juan Gregorio de",
    "Balcarce, Antonio González",
    "Dorrego, Manuel",
    "Lavalle, Juan",
    "Paz, José María",
    "Alsina, Adolfo",
    "Roca, Julio Argentino",
    "Pellegrini, Carlos",
    "Yrigoyen, Hipólito",
    "Alem, Leandro Nicéforo",
    "Sáenz Peña, Roque",
    "Irigoyen, Bernardo de",
    "Avellaneda, Nicolás",
    "Urquiza, Justo José de",
    "Derqui, Santiago",
    "Quintana, Manuel",
    "Uriburu, José Evaristo",
    "Figueroa Alcorta, José",
    "Ortiz, Roberto Marcelino",
    "Illia, Arturo Umberto",
    "Frondizi, Arturo",
    "Favaloro, René",
    "Houssay, Bernardo Alberto",
    "Leloir, Luis Federico",
    "Borges, Jorge Luis",
    "Cortázar, Julio",
    "Storni, Alfonsina",
    "Hernández, José",
    "Lugones, Leopoldo",
    "Ameghino, Florentino",
    "Moreno, Francisco Pascasio",
    "Muñiz, Francisco Javier",
    "Rawson, Guillermo",
    "Ramos Mejía, José María",
    "Vieytes, Hipólito",
    "French, Domingo",
    "Beruti, Antonio Luis",
    "Rodríguez Peña, Nicolás",
    "Chiclana, Feliciano Antonio",
    "Posadas, Gervasio Antonio de",
    "Monteagudo, Bernardo de",
    "Olazábal, Manuel de",
    "Pringles, Juan Pascual",
    "Necochea, Mariano",
    "Arenales, Juan Antonio Álvarez de",
    "Suipacha",
    "Maipú",
    "Chacabuco",
    "Tucumán",
    "Corrientes",
    "Santa Fe",
    "Córdoba",
    "Entre Ríos",
    "Libertador",
    "Constitución",
    "Independencia",
    "Juramento",
    "Ituzaingó",
    "Lima",
    "Montevideo",
    "Paraná",
};

struct Gated {
    const char* name;
    double lat;
    double lon;
};

const Gated kGated[] = {
    {"Nordelta", -34.405, -58.645},
    {"Santa Bárbara", -34.431, -58.663},
    {"Los Castores", -34.412, -58.652},
    {"El Yacht", -34.401, -58.638},
    {"Abril Club de Campo", -34.802, -58.152},
    {"Highland Park", -34.452, -58.848},
    {"Ayres del Pilar", -34.431, -58.840},
    {"La Lomada de Pilar", -34.466, -58.876},
    {"San Jorge Village", -34.487, -58.715},
    {"Martindale", -34.452, -58.864},
    {"Tortugas Country Club", -34.462, -58.738},
    {"Mapuche Country Club", -34.448, -58.836},
    {"Septiembre", -34.317, -58.837},
    {"Los Cardales", -34.326, -58.958},
    {"Haras Santa María", -34.345, -58.827},
    {"Canning Country Club", -34.868, -58.520},
};

struct Coded {
    int code;
    const char* name;
    const char* extra;
};

// Building types; the codes are the ones the card's field rules and the quick filters use.
const Coded kBuildingTypes[] = {
    {1, "Casa", nullptr},
    {2, "Lote", nullptr},
    {3, "Local", nullptr},
    {4, "Consultorio", nullptr},
    {5, "Departamento", nullptr},
    {6, "Oficina", nullptr},
    {7, "Cochera", nullptr},
    {8, "Campo", nullptr},
    {9, "Depósito", nullptr},
    {10, "Edificio", nullptr},
    {11, "Galpón", nullptr},
    {12, "Quinta", nullptr},
    {13, "Chacra", nullptr},
    {14, "Terreno industrial", nullptr},
    {15, "Semipiso", nullptr},
    {16, "Terreno", nullptr},
    {17, "Nave industrial", nullptr},
    {18, "Fondo de comercio", nullptr},
    {19, "Hotel", nullptr},
    {20, "Bóveda", nullptr},
    {21, "Cabaña", nullptr},
    {22, "Casa con consultorio", nullptr},
    {23, "Local con vivienda", nullptr},
    {24, "Estación de servicio", nullptr},
    {25, "Loft", nullptr},
    {26, "Fracción", nullptr},
    {27, "Habitación", nullptr},
    {28, "Dúplex", nullptr},
    {29, "Amarra", nullptr},
    {30, "Tríplex", nullptr},
    {31, "PH", nullptr},
    {32, "Edificio de oficinas", nullptr},
};

// Operations: 2, 3, 4, 6, 7, 8, 9 and 16 are rentals.
const Coded kOperations[] = {
    {1, "Venta", nullptr},
    {2, "Alquiler temporario", nullptr},
    {3, "Alquiler", nullptr},
    {4, "Alquiler comercial", nullptr},
    {5, "Venta en pozo", nullptr},
    {6, "Alquiler anual", nullptr},
    {7, "Alquiler de verano", nullptr},
    {8, "Alquiler de invierno", nullptr},
    {9, "Alquiler por temporada", nullptr},
    {10, "Permuta", nullptr},
    {11, "Venta o permuta", nullptr},
    {12, "Leasing", nullptr},
    {13, "Fideicomiso", nullptr},
    {14, "Venta con renta", nullptr},
    {15, "Subasta", nullptr},
    {16, "Alquiler con opción a compra", nullptr},
};

const Coded kStandby[] = {
    {1, "Activa", "ACT"},
    {2, "Reservada", "RES"},
    {3, "Suspendida por el propietario", "SUS"},
    {4, "En refacción", "REF"},
};

const Coded kWithdrawal[] = {
    {1, "Vigente", "VIG"},
    {2, "Vendida", "VEN"},
    {3, "Alquilada", "ALQ"},
    {4, "Retirada por el propietario", "RET"},
    {5, "Vendida por otra inmobiliaria", "VOI"},
    {6, "Publicación duplicada", "DUP"},
};

const char* const kSurnames[] = {
    "González",  "Rodríguez", "Gómez",   "Fernández", "López",    "Díaz",    "Martínez", "Pérez",
    "García",    "Sánchez",   "Romero",  "Sosa",      "Álvarez",  "Torres",  "Ruiz",     "Ramírez",
    "Flores",    "Acosta",    "Benítez", "Medina",    "Suárez",   "Herrera", "Aguirre",  "Pereyra",
    "Gutiérrez", "Giménez",   "Molina",  "Silva",     "Castro",   "Rojas",   "Ortiz",    "Núñez",
    "Luna",      "Juárez",    "Cabrera", "Ríos",      "Ferreyra", "Godoy",   "Morales",  "Domínguez",
};

const char* const kGivenNames[] = {
    "María",    "Juan",     "Ana",      "Carlos",  "Laura",   "Jorge",   "Silvia",    "Roberto", "Claudia", "Luis",
    "Patricia", "Martín",   "Gabriela", "Diego",   "Valeria", "Pablo",   "Florencia", "Sergio",  "Lucía",   "Alejandro",
    "Sofía",    "Federico", "Carolina", "Marcelo", "Paula",   "Ricardo", "Verónica",  "Hernán",  "Mariana", "Gustavo",
};

const char* const kAgencyWords[] = {
    "Propiedades", "Inmobiliaria", "Bienes Raíces", "Negocios Inmobiliarios", "Estudio Inmobiliario",
};

// ---------------------------------------------------------------------------------------

class Random {
public:
    explicit Random(quint32 seed) : m_engine(seed) {}
    int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_engine); }
    double Real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(m_engine); }
    bool Chance(double p) { return Real(0, 1) < p; }
    template <typename T, size_t N> const T& Pick(const T (&items)[N]) { return items[Int(0, int(N) - 1)]; }
    template <typename T> const T& Pick(const std::vector<T>& items) { return items[Int(0, int(items.size()) - 1)]; }
    // Index chosen with the given weights.
    int Weighted(const std::vector<int>& weights)
    {
        int total = 0;
        for (int w : weights)
            total += w;
        int r = Int(0, total - 1);
        for (size_t i = 0; i < weights.size(); ++i) {
            if (r < weights[i])
                return int(i);
            r -= weights[i];
        }
        return int(weights.size()) - 1;
    }

private:
    std::mt19937 m_engine;
};

using Value = std::variant<std::monostate, qint64, double, QString>;

// One prepared INSERT executed for many rows.
class Inserter {
public:
    Inserter(sqlite3* db, const char* table, int columns) : m_db(db)
    {
        QByteArray sql = "INSERT INTO `" + QByteArray(table) + "` VALUES (";
        for (int i = 0; i < columns; ++i)
            sql += i ? ",?" : "?";
        sql += ")";
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &m_statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }
    ~Inserter() { sqlite3_finalize(m_statement); }
    Inserter(const Inserter&) = delete;
    Inserter& operator=(const Inserter&) = delete;

    void Row(const std::vector<Value>& values)
    {
        for (size_t i = 0; i < values.size(); ++i) {
            const int at = int(i) + 1;
            const Value& v = values[i];
            if (std::holds_alternative<qint64>(v)) {
                sqlite3_bind_int64(m_statement, at, std::get<qint64>(v));
            } else if (std::holds_alternative<double>(v)) {
                sqlite3_bind_double(m_statement, at, std::get<double>(v));
            } else if (std::holds_alternative<QString>(v)) {
                const QByteArray text = std::get<QString>(v).toUtf8();
                sqlite3_bind_text(m_statement, at, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_null(m_statement, at);
            }
        }
        if (sqlite3_step(m_statement) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(m_db));
        sqlite3_reset(m_statement);
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

Value I(qint64 v)
{
    return v;
}
Value R(double v)
{
    return v;
}
Value T(const QString& v)
{
    return v;
}
Value T(const char* v)
{
    return QString::fromUtf8(v);
}
const Value Null{};

QString Slug(const QString& text)
{
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D))
        if (c.isLetterOrNumber() && c.unicode() < 128)
            out += c.toLower();
    return out;
}

void Exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "error";
        sqlite3_free(error);
        throw std::runtime_error(text);
    }
}

// A small, recognisable picture: sky, lawn and a house in the property's own colours.
QByteArray PhotoJpeg(Random& random, int variant)
{
    QImage image(320, 240, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 0, 320, 160, QColor(120 + random.Int(0, 80), 170 + random.Int(0, 60), 230));
    p.fillRect(0, 160, 320, 80, QColor(70, 130 + random.Int(0, 60), 60));
    const QColor wall = QColor::fromHsv((variant * 37 + random.Int(0, 60)) % 360, 60 + random.Int(0, 80), 200);
    const int x = 70 + random.Int(0, 60);
    p.setPen(Qt::NoPen);
    p.setBrush(wall);
    p.drawRect(x, 110, 140, 90);
    QPainterPath roof;
    roof.moveTo(x - 15, 112);
    roof.lineTo(x + 70, 55 + random.Int(0, 20));
    roof.lineTo(x + 155, 112);
    roof.closeSubpath();
    p.setBrush(QColor(150 + random.Int(0, 60), 60, 40));
    p.drawPath(roof);
    p.setBrush(QColor(90, 60, 40));
    p.drawRect(x + 60, 150, 24, 50);
    p.setBrush(QColor(200, 230, 250));
    p.drawRect(x + 18, 130, 26, 22);
    p.drawRect(x + 100, 130, 26, 22);
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

QString Description(Random& r, const QString& type, const QString& locality, int rooms, bool garage, bool pool)
{
    static const char* const openers[] = {
        "Excelente", "Hermosa propiedad:", "Oportunidad única:", "Impecable", "Muy luminoso",
        "Amplio",    "A estrenar:",        "Apto crédito:"};
    static const char* const features[] = {"living comedor con salida al balcón",
                                           "cocina integrada con isla",
                                           "pisos de madera",
                                           "aberturas de aluminio con DVH",
                                           "calefacción por losa radiante",
                                           "lavadero independiente",
                                           "parque con árboles añosos",
                                           "quincho con parrilla",
                                           "vestidor en suite",
                                           "terraza propia",
                                           "excelente orientación norte",
                                           "bajas expensas",
                                           "seguridad las 24 horas",
                                           "cerca de transporte público",
                                           "a metros de colegios y comercios",
                                           "placard en todos los ambientes",
                                           "toilette de recepción"};
    QString text = QString::fromUtf8(r.Pick(openers)) + u' ' + type.toLower() + u" en "_s + locality + u". "_s;
    if (rooms > 0)
        text += u"Cuenta con %1 %2, "_s.arg(rooms).arg(rooms == 1 ? u"dormitorio"_s : u"dormitorios"_s);
    const int count = r.Int(2, 4);
    QStringList chosen;
    for (int i = 0; i < count; ++i)
        chosen << QString::fromUtf8(r.Pick(features));
    chosen.removeDuplicates();
    text += chosen.join(u", "_s) + u'.';
    if (garage)
        text += u" Cochera cubierta."_s;
    if (pool)
        text += u" Pileta climatizada."_s;
    return text;
}

} // namespace

QString DemoUserPassword()
{
    return u"demo"_s;
}

bool GenerateDemoDatabase(const QString& path, const TDemoOptions& options, TDemoResult& result)
{
    result = {};
    if (QFile::exists(path)) {
        result.error = u"the file already exists: "_s + path;
        return false;
    }
    sqlite3* db = nullptr;
    try {
        if (options.properties < 0)
            throw std::runtime_error("the number of properties cannot be negative");
        const QByteArray file = QFile::encodeName(path);
        if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            throw std::runtime_error(db ? sqlite3_errmsg(db) : "cannot open");
        if (!options.password.isEmpty()) {
            const QByteArray key = options.password.toUtf8();
            if (sqlite3_key(db, key.constData(), int(key.size())) != SQLITE_OK)
                throw std::runtime_error(sqlite3_errmsg(db));
        }
        Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
        Schema::Create(db);
        Exec(db, "BEGIN;");

        Random r(options.seed);
        const QDateTime now(QDate(2026, 11, 30), QTime(9, 30, 0));

        // Locations. Codes 1 and below are the "not defined" rows.
        struct Locality {
            int code, partido, province;
            QString name;
            double lat, lon;
            std::vector<int> zones;
        };
        std::vector<Locality> localities;
        {
            Inserter paises(db, "W_Paises", 2), provs(db, "W_Provincias", 3), parts(db, "W_Partidos", 3),
                locs(db, "W_Localidades", 3), zonas(db, "W_Zonas", 3);
            paises.Row({I(1), T("No definido")});
            paises.Row({I(2), T("Argentina")});
            paises.Row({I(3), T("Uruguay")});
            provs.Row({I(1), I(1), T("No definida")});
            parts.Row({I(1), I(1), T("No definido")});
            locs.Row({I(1), I(1), T("No definida")});
            int provCode = 2, partCode = 2, locCode = 2, zonCode = 1;
            for (const Province& province : Provinces()) {
                const int prov = provCode++;
                provs.Row({I(prov), I(2), T(province.name)});
                for (const Partido& partido : province.partidos) {
                    const int part = partCode++;
                    parts.Row({I(part), I(prov), T(partido.name)});
                    for (const char* name : partido.localities) {
                        Locality loc{locCode++,
                                     part,
                                     prov,
                                     QString::fromUtf8(name),
                                     partido.lat + r.Real(-0.03, 0.03),
                                     partido.lon + r.Real(-0.03, 0.03),
                                     {}};
                        locs.Row({I(loc.code), I(part), T(name)});
                        if (r.Chance(0.4)) {
                            const int zones = r.Int(2, 4);
                            for (int z = 0; z < zones; ++z) {
                                zonas.Row({I(zonCode), I(loc.code), T(kZones[(z + loc.code) % 8])});
                                loc.zones.push_back(zonCode++);
                            }
                        }
                        localities.push_back(loc);
                    }
                }
            }
            provs.Row({I(provCode), I(3), T("Montevideo")});
            parts.Row({I(partCode), I(provCode), T("Montevideo")});
            locs.Row({I(locCode), I(partCode), T("Punta Carretas")});
        }
        {
            Inserter calles(db, "W_Calles", 2), barrios(db, "W_Barrios", 4);
            int code = 1;
            for (const char* street : kStreets)
                calles.Row({I(code++), T(street)});
            code = 1;
            for (const Gated& g : kGated)
                barrios.Row({I(code++), T(g.name), R(g.lat), R(g.lon)});
        }
        {
            Inserter edif(db, "W_Edificaciones", 2), situ(db, "W_Situaciones", 2), standby(db, "W_MotivosStandby", 3),
                baja(db, "W_MotivosBaja", 3), monedas(db, "W_Monedas", 4), tipos(db, "W_TipoCampos", 2),
                detalle(db, "W_DetalleEdif", 5);
            for (const Coded& c : kBuildingTypes)
                edif.Row({I(c.code), T(c.name)});
            for (const Coded& c : kOperations)
                situ.Row({I(c.code), T(c.name)});
            for (const Coded& c : kStandby)
                standby.Row({I(c.code), T(c.name), T(c.extra)});
            for (const Coded& c : kWithdrawal)
                baja.Row({I(c.code), T(c.name), T(c.extra)});
            monedas.Row({I(1), T("Pesos"), T("$"), R(1.0)});
            monedas.Row({I(2), T("Dólares"), T("U$S"), R(1052.5)});
            monedas.Row({I(3), T("Euros"), T("€"), R(1218.75)});
            tipos.Row({I(1), T("TEXT")});
            tipos.Row({I(2), T("COMBO")});
            struct Detail {
                int edif, type;
                const char *name, *options;
            };
            const Detail details[] = {
                {1, 2, "Orientación", "Norte/Sur/Este/Oeste"},
                {1, 2, "Estado de conservación", "Excelente/Muy bueno/Bueno/Regular/A reciclar"},
                {1, 2, "Calefacción", "Central/Individual/Losa radiante/Sin calefacción"},
                {1, 1, "Detalle del jardín", ""},
                {5, 2, "Disposición", "Frente/Contrafrente/Lateral/Interno"},
                {5, 2, "Orientación", "Norte/Sur/Este/Oeste"},
                {5, 1, "Expensas", ""},
                {5, 1, "Amenities", ""},
                {2, 1, "Servicios", ""},
                {2, 2, "Forma del lote", "Regular/Irregular/En esquina"},
                {31, 2, "Ubicación del PH", "Al frente/Al fondo/En altura"},
                {6, 1, "Expensas", ""},
            };
            int code = 1;
            for (const Detail& d : details)
                detalle.Row({I(code++), T(d.name), T(d.options), I(d.edif), I(d.type)});
        }

        // Agencies, users and clients.
        const int agencyCount = std::max(12, std::min(900, options.properties / 400 + 10));
        std::vector<int> agencies{options.ownAgency};
        while (int(agencies.size()) < agencyCount) {
            const int code = r.Int(2, 2999);
            if (std::find(agencies.begin(), agencies.end(), code) == agencies.end())
                agencies.push_back(code);
        }
        struct AgencyUsers {
            std::vector<int> users;
        };
        std::vector<AgencyUsers> agencyUsers(agencies.size());
        {
            Inserter inmo(db, "W_Inmobiliarias", 21), users(db, "W_Usuarios", 15), clients(db, "W_Clientes", 16);
            int userCode = 1, clientCode = 1;
            const QString password = Md5Hex(DemoUserPassword());
            for (size_t a = 0; a < agencies.size(); ++a) {
                const int code = agencies[a];
                const Locality& loc = r.Pick(localities);
                const QString surname = QString::fromUtf8(r.Pick(kSurnames));
                const QString name =
                    a == 0 ? u"Korvel Demo Propiedades"_s : surname + u' ' + QString::fromUtf8(r.Pick(kAgencyWords));
                const QString slug = Slug(name);
                const QDateTime joined = now.addDays(-r.Int(200, 5000));
                const bool left = a != 0 && r.Chance(0.05);
                inmo.Row({I(code),
                          T(name),
                          T(QString::fromUtf8(r.Pick(kStreets)).section(u',', 0, 0) + u' ' +
                            QString::number(r.Int(100, 4800))),
                          I(loc.code),
                          T(u"011 4%1-%2"_s.arg(r.Int(100, 999)).arg(r.Int(1000, 9999))),
                          T(u"info@"_s + slug + u".com.ar"_s),
                          T(u"www."_s + slug + u".com.ar"_s),
                          I(r.Chance(0.8)),
                          T(QString::fromUtf8(r.Pick(kGivenNames)) + u' ' + surname),
                          T(u"CUCICBA %1"_s.arg(r.Int(1000, 9999))),
                          T(QString::fromUtf8(r.Pick(kGivenNames)) + u' ' + QString::fromUtf8(r.Pick(kSurnames))),
                          T(u"011 5%1-%2"_s.arg(r.Int(100, 999)).arg(r.Int(1000, 9999))),
                          T(u"administracion@"_s + slug + u".com.ar"_s),
                          T(name + u" S.R.L."_s),
                          T(u"30-%1-%2"_s.arg(r.Int(10000000, 79999999)).arg(r.Int(0, 9))),
                          T(QString::fromUtf8(r.Pick(kStreets)).section(u',', 0, 0) + u' ' +
                            QString::number(r.Int(100, 4800))),
                          T(QString::number(r.Int(1000, 1900))),
                          T(u"Buenos Aires"_s),
                          T(DateTimeToDbText(joined)),
                          left ? T(DateTimeToDbText(now.addDays(-r.Int(10, 150)))) : Null,
                          Null});
                ++result.agencies;

                const int userCount = a == 0 ? 5 : r.Int(2, 5);
                for (int u = 0; u < userCount; ++u) {
                    const int role = u == 0 ? 3 : (u % 3 == 2 ? 2 : 1);
                    const QString login =
                        u == 0 ? u"admin"_s : (role == 2 ? u"consulta"_s : u"carga"_s) + QString::number(u);
                    const QString given = QString::fromUtf8(r.Pick(kGivenNames));
                    const QString family = QString::fromUtf8(r.Pick(kSurnames));
                    users.Row({I(userCode), I(code), T(login), T(password), I(role), T(given + u' ' + family),
                               T(QString::fromUtf8(r.Pick(kStreets)).section(u',', 0, 0) + u' ' +
                                 QString::number(r.Int(100, 4800))),
                               T(QString::number(r.Int(1000, 1900))), T(u"Buenos Aires"_s),
                               T(u"15 %1-%2"_s.arg(r.Int(4000, 6999)).arg(r.Int(1000, 9999))),
                               T(Slug(given) + u'.' + Slug(family) + u'@' + slug + u".com.ar"_s),
                               I(u < userCount - 1 || a != 0 ? 1 : 0), T("OK"), Null, I(role == 3 ? 1 : 0)});
                    agencyUsers[a].users.push_back(userCode++);
                    ++result.users;
                }
                const int clientCount = a == 0 ? 40 : r.Int(0, 6);
                for (int c = 0; c < clientCount; ++c) {
                    const QString given = QString::fromUtf8(r.Pick(kGivenNames));
                    const QString family = QString::fromUtf8(r.Pick(kSurnames));
                    const Locality& where = r.Pick(localities);
                    clients.Row({I(clientCode++), I(code), I(r.Chance(0.3) ? 1 : 0), T(family + u", "_s + given),
                                 T(QString::fromUtf8(r.Pick(kStreets)).section(u',', 0, 0) + u' ' +
                                   QString::number(r.Int(100, 4800))),
                                 T(QString::number(r.Int(1000, 1900))), T(u"Localidad %1"_s.arg(where.code)),
                                 T(u"11 %1-%2"_s.arg(r.Int(4000, 6999)).arg(r.Int(1000, 9999))),
                                 T(Slug(given) + QString::number(r.Int(1, 99)) + u"@correo.com.ar"_s),
                                 r.Chance(0.3) ? T("Busca cerca del colegio de los chicos.") : T(""), I(1), T("OK"),
                                 Null, T(""), Null, Null});
                    ++result.clients;
                }
            }
        }

        // Properties with their photos and extra details.
        {
            Inserter props(db, "W_Propiedades", 49), fotos(db, "W_Fotos", 4), mas(db, "W_MasDatos", 4);
            std::vector<int> sequence(agencies.size(), 0);
            std::vector<int> agencyWeights;
            for (size_t a = 0; a < agencies.size(); ++a)
                agencyWeights.push_back(a == 0 ? std::max(20, int(agencies.size()) * 2) : r.Int(1, 10));
            const std::vector<int> edifCodes = {1, 5, 31, 2, 3, 6, 28, 25, 15, 16, 12, 7, 9, 11, 22, 23, 26, 30, 4, 8};
            const std::vector<int> edifWeights = {24, 30, 8, 7, 5, 4, 4, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1};
            const std::vector<int> situCodes = {1, 3, 4, 2, 9, 11, 5, 16, 6};
            const std::vector<int> situWeights = {55, 20, 5, 6, 3, 3, 4, 2, 2};
            const std::vector<int> provinceWeights = {70, 20, 10};
            int fotoCode = 1;
            int photoFilesLeft = options.photoFolder.isEmpty() ? 0 : options.photoFiles;
            const int photoEvery = std::max(1, options.properties / std::max(1, options.photoFiles));
            for (int i = 0; i < options.properties; ++i) {
                const int a = r.Weighted(agencyWeights);
                if (sequence[a] >= 99999)
                    throw std::runtime_error("too many properties for one agency");
                const int agency = agencies[a];
                const qint64 code = qint64(agency) * 100000 + ++sequence[a];
                const int edif = edifCodes[r.Weighted(edifWeights)];
                const int situ = situCodes[r.Weighted(situWeights)];
                const bool rental = situ == 2 || situ == 3 || situ == 4 || situ == 6 || situ == 9 || situ == 16;

                // Province group: Buenos Aires, the city, or elsewhere.
                const int group = r.Weighted(provinceWeights);
                const Locality* loc = nullptr;
                for (int tries = 0; tries < 50 && !loc; ++tries) {
                    const Locality& candidate = r.Pick(localities);
                    const bool ba = candidate.province == 2, caba = candidate.province == 3;
                    if ((group == 0 && ba) || (group == 1 && caba) || (group == 2 && !ba && !caba))
                        loc = &candidate;
                }
                if (!loc)
                    loc = &localities.front();
                const int zone = !loc->zones.empty() && r.Chance(0.6) ? r.Pick(loc->zones) : 0;
                const bool gated = loc->province == 2 && (edif == 1 || edif == 2 || edif == 28) && r.Chance(0.25);
                const int barrio = gated ? r.Int(1, int(std::size(kGated))) : 0;
                const int calle = !gated && r.Chance(0.92) ? r.Int(1, int(std::size(kStreets))) : 0;
                const bool flat = edif == 5 || edif == 15 || edif == 25 || edif == 6 || edif == 4;
                double lat = loc->lat + r.Real(-0.02, 0.02), lon = loc->lon + r.Real(-0.02, 0.02);
                if (gated) {
                    lat = kGated[barrio - 1].lat + r.Real(-0.004, 0.004);
                    lon = kGated[barrio - 1].lon + r.Real(-0.004, 0.004);
                }

                const bool land = edif == 2 || edif == 16 || edif == 26 || edif == 8 || edif == 13;
                const int bedrooms = land || edif == 7 ? 0 : r.Int(1, edif == 1 || edif == 12 ? 5 : 3);
                const int rooms = edif == 5 || edif == 15 ? bedrooms + r.Int(1, 2) : 0;
                const int baths = land ? 0 : r.Int(1, std::max(1, bedrooms));
                const double covered = land ? 0 : std::round(r.Real(28, 90) * std::max(1, bedrooms));
                const double plot = land   ? std::round(r.Real(250, 3000))
                                    : flat ? covered + std::round(r.Real(0, 15))
                                           : std::round(r.Real(150, 1200));
                const bool garage = !land && r.Chance(0.45);
                const bool pool = edif == 1 && r.Chance(0.3);
                int currency = rental ? 1 : 2;
                if (!rental && r.Chance(0.03))
                    currency = 3;
                double price;
                if (rental)
                    price = std::round(r.Real(180000, 2400000) / 1000) * 1000;
                else
                    price =
                        std::round(r.Real(28000, 95000) * std::max(1.0, covered / 40 + (land ? plot / 500 : 0)) / 100) *
                        100;
                const bool noPrice = r.Chance(0.04);
                const QDateTime listed = now.addSecs(-qint64(r.Int(0, 2200)) * 86400 - r.Int(0, 86399));
                const QDateTime modified = listed.addSecs(qint64(r.Int(0, int(listed.daysTo(now)))) * 86400);
                const bool current = r.Chance(0.86);
                const int standby = current ? (r.Chance(0.9) ? 1 : r.Int(2, 4)) : 1;
                const int baja = current ? 1 : r.Int(2, 6);
                const std::vector<int>& staff = agencyUsers[a].users;
                const int creator = r.Pick(staff);
                const int seller = r.Chance(0.8) ? r.Pick(staff) : 0;
                const int year = land || r.Chance(0.25) ? 0 : r.Int(1935, 2026);
                const QString typeName = QString::fromUtf8(kBuildingTypes[edif - 1].name);
                QString video;
                if (r.Chance(0.05))
                    video = r.Chance(0.7) ? u"youtube,"_s + QString::number(r.Int(100000, 999999), 36)
                                          : u"vimeo,"_s + QString::number(r.Int(10000000, 99999999));

                props.Row({I(code),
                           I(agency),
                           I(edif),
                           I(situ),
                           rental ? I(30) : I(0),
                           I(calle),
                           I(barrio),
                           calle ? T(QString::number(r.Int(1, 6500))) : T(""),
                           flat ? T(r.Chance(0.1) ? u"PB"_s : QString::number(r.Int(1, 18))) : T(""),
                           flat ? T(QString(QChar(char16_t(u'A' + r.Int(0, 5))))) : T(""),
                           gated ? T(u"Lote %1"_s.arg(r.Int(1, 900))) : (calle ? T("") : T("Ruta 8 km 52")),
                           I(2),
                           I(loc->province),
                           I(loc->partido),
                           I(loc->code),
                           zone ? I(zone) : Null,
                           R(lat),
                           R(lon),
                           land ? I(0) : I(r.Int(1, 3)),
                           I(bedrooms),
                           I(rooms),
                           I(baths),
                           I(!land && r.Chance(0.2)),
                           I(!land && r.Chance(0.5)),
                           I(garage),
                           I(year >= 2025),
                           R(plot),
                           R(covered),
                           noPrice ? Null : R(price),
                           T(Description(r, typeName, loc->name, bedrooms, garage, pool)),
                           video.isEmpty() ? Null : T(video),
                           T(DateTimeToDbText(listed)),
                           T(DateTimeToDbText(modified)),
                           I(year),
                           I(currency),
                           I(baja),
                           I(standby),
                           I(r.Chance(0.9) ? 1 : 0),
                           I(r.Chance(0.8)),
                           I(1),
                           I(r.Chance(0.5)),
                           I(0),
                           T(u"%1-%2"_s.arg(QChar(char16_t(u'A' + r.Int(0, 25)))).arg(r.Int(1, 999))),
                           I(creator),
                           I(seller),
                           a == 0 && r.Chance(0.3) ? T("Llaves en la oficina. Propietario acepta permuta.") : T(""),
                           I(current ? 2 : 1),
                           Null,
                           Null});
                ++result.properties;

                if (r.Chance(0.7)) {
                    const int count = r.Int(1, 8);
                    const bool files = photoFilesLeft > 0 && i % photoEvery == 0;
                    for (int f = 0; f < count; ++f) {
                        fotos.Row({I(fotoCode), I(code), I(f), Null});
                        if (files) {
                            const QString folder =
                                options.photoFolder + u'/' + QString::number(agency).rightJustified(4, u'0') + u'/';
                            QDir().mkpath(folder);
                            QFile jpg(folder + u"w_%1_%2.jpg"_s.arg(code).arg(fotoCode));
                            if (!jpg.open(QIODevice::WriteOnly) || jpg.write(PhotoJpeg(r, int(code % 97) + f)) < 0)
                                throw std::runtime_error("cannot write " + jpg.fileName().toStdString());
                            ++result.photoFiles;
                        }
                        ++fotoCode;
                        ++result.photos;
                    }
                    if (files)
                        --photoFilesLeft;
                }
                if (edif == 1 && r.Chance(0.4)) {
                    mas.Row({I(code), I(1), T(QString::number(r.Int(0, 3))), Null});
                    mas.Row({I(code), I(2), T(QString::number(r.Int(0, 4))), Null});
                } else if (edif == 5 && r.Chance(0.4)) {
                    mas.Row({I(code), I(5), T(QString::number(r.Int(0, 3))), Null});
                    mas.Row({I(code), I(7), T(u"$ %1"_s.arg(r.Int(40, 400) * 1000)), Null});
                }
            }
        }

        // Messages of the service and the settings row of the installation.
        {
            Inserter msgs(db, "W_Mensajes", 6);
            struct Message {
                int agency;
                const char *subject, *body;
                int daysAgo;
            };
            const Message messages[] = {
                {-1, "Bienvenidos a la nueva versión",
                 "Desde hoy pueden sincronizar las fotos de sus propiedades en segundo plano.\nCualquier consulta "
                 "escríbannos a soporte.",
                 3},
                {-1, "Mantenimiento programado",
                 "El domingo de 2 a 5 hs. el servicio no estará disponible por tareas de mantenimiento.", 12},
                {options.ownAgency, "Estado de cuenta",
                 "Les recordamos que el abono del mes vence el día 10. Pueden informar su pago desde el sistema.", 20},
                {-1, "Nuevas inmobiliarias asociadas", "Se incorporaron cuatro inmobiliarias de zona norte a la red.",
                 35},
                {-1, "Capacitación", "El jueves a las 18 hs. dictaremos una capacitación sobre reportes y selecciones.",
                 60},
            };
            int code = 1;
            for (const Message& m : messages)
                msgs.Row({I(code++), I(m.agency), T(m.subject), T(m.body), T(DateTimeToDbText(now.addDays(-m.daysAgo))),
                          I(1)});
        }
        {
            sqlite3_stmt* s = nullptr;
            const char* sql =
                "INSERT INTO `W_System` (`Sys_Codigo`, `Inmo_Codigo`, `Sys_InstallKey`, `Sys_DataVersion`,"
                " `Sys_LastSyncTime`, `Sys_PhotoDownloadMode`, `Sys_OptimizeDays`, `Sys_ListExpanded`,"
                " `Sys_DefaultOwnFilter`) VALUES (1, ?, ?, 1, ?, '0', '5', '1', '0')";
            if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
                throw std::runtime_error(sqlite3_errmsg(db));
            const QByteArray key = u"DEMO-%1-%2"_s.arg(options.ownAgency).arg(options.seed).toUtf8();
            const QByteArray sync = DateTimeToDbText(now).toUtf8();
            sqlite3_bind_int(s, 1, options.ownAgency);
            sqlite3_bind_text(s, 2, key.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 3, sync.constData(), -1, SQLITE_TRANSIENT);
            const int rc = sqlite3_step(s);
            sqlite3_finalize(s);
            if (rc != SQLITE_DONE)
                throw std::runtime_error(sqlite3_errmsg(db));
        }

        Exec(db, "COMMIT;");
        Exec(db, "ANALYZE;");
        sqlite3_close_v2(db);
        return true;
    } catch (const std::exception& e) {
        result.error = QString::fromUtf8(e.what());
        if (db)
            sqlite3_close_v2(db);
        QFile::remove(path); // ours: it did not exist before
        return false;
    }
}
