#pragma once

#include <QString>

// The statement behind every property list: each property with its building type,
// operation, standby and withdrawal state, agency, location chain, currency, creator and
// seller. A WHERE and an ORDER BY clause follow it (the text ends with a blank).
inline const QString& PropertyQuerySql()
{
    static const QString sql = QStringLiteral(
        "SELECT `W_Propiedades`.*, ROUND(`W_Propiedades`.`Prop_Precio` * `W_Monedas`.`Moneda_Cotizacion`) AS "
        "`Prop_PrecioPesos`, `W_Edificaciones`.*, `W_Situaciones`.*, `W_MotivosStandby`.*, `W_Inmobiliarias`.*, "
        "`W_Paises`.*, `W_Provincias`.*, `W_Partidos`.*, `W_Localidades`.*, `W_Zonas`.*, `W_Calles`.*, "
        "`W_Barrios`.*, `W_Monedas`.*, `J_Usuarios`.*, `J_Vendedores`.`Usuario_Nombre` AS Vend_Nombre, "
        "`J_Vendedores`.`Usuario_Te` AS Vend_Te, `J_Vendedores`.`Usuario_email` AS Vend_email, `W_MotivosBaja`.* "
        "FROM `W_Propiedades` INNER JOIN `W_Monedas` ON (`W_Propiedades`.`Moneda_Codigo` = "
        "`W_Monedas`.`Moneda_Codigo`) LEFT JOIN `W_Usuarios` `J_Usuarios` ON `W_Propiedades`.`Usuario_Codigo` = "
        "`J_Usuarios`.`Usuario_Codigo` LEFT JOIN `W_Usuarios` `J_Vendedores` ON `W_Propiedades`.`Prop_Vendedor` = "
        "`J_Vendedores`.`Usuario_Codigo` INNER JOIN `W_Edificaciones` ON `W_Propiedades`.`Edif_Codigo` = "
        "`W_Edificaciones`.`Edif_Codigo` INNER JOIN `W_Situaciones` ON `W_Propiedades`.`Situ_Codigo` = "
        "`W_Situaciones`.`Situ_Codigo` INNER JOIN `W_MotivosStandby` ON `W_Propiedades`.`Standby_Codigo` = "
        "`W_MotivosStandby`.`Standby_Codigo` INNER JOIN `W_Inmobiliarias` ON `W_Propiedades`.`Inmo_Codigo` = "
        "`W_Inmobiliarias`.`Inmo_Codigo` INNER JOIN `W_Paises` ON `W_Propiedades`.`Pais_Codigo` = "
        "`W_Paises`.`Pais_Codigo` INNER JOIN `W_Provincias` ON `W_Propiedades`.`Prov_Codigo` = "
        "`W_Provincias`.`Prov_Codigo` INNER JOIN `W_Partidos` ON `W_Propiedades`.`Part_Codigo` = "
        "`W_Partidos`.`Part_Codigo` INNER JOIN `W_Localidades` ON `W_Propiedades`.`Loc_Codigo` = "
        "`W_Localidades`.`Loc_Codigo` LEFT JOIN `W_Zonas` ON `W_Propiedades`.`Zon_Codigo` = `W_Zonas`.`Zon_Codigo` "
        "LEFT JOIN `W_Calles` ON `W_Propiedades`.`Calle_Codigo` = `W_Calles`.`Calle_Codigo` LEFT JOIN `W_Barrios` "
        "ON `W_Propiedades`.`Barrio_Codigo` = `W_Barrios`.`Barrio_Codigo` INNER JOIN `W_MotivosBaja` ON "
        "(`W_Propiedades`.`Baja_Codigo` = `W_MotivosBaja`.`Baja_Codigo`) ");
    return sql;
}
