-- The tables of the planning database that the Karvex link uses (sqlserver).

CREATE TABLE planning (
    pla_id int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    pla_bdr_id int,
    pla_datum datetime,
    pla_tijdstip datetime,
    pla_extern int,
    pla_ophstraat varchar(50),
    pla_ophnummer varchar(10),
    pla_ophpostcode varchar(10),
    pla_ophstad varchar(50),
    pla_besstraat varchar(50),
    pla_bestnummer varchar(10),
    pla_bestpostcode varchar(10),
    pla_beststad varchar(50),
    pla_opmerking varchar(50),
    pla_rolstoel int,
    pla_combineren int,
    pla_lopers int,
    pla_rollers int,
    pla_reiziger int,
    pla_wagen int,
    pla_chauffeur int,
    pla_route int,
    pla_van int,
    pla_naar int,
    pla_mut int,
    pla_km_sqr decimal(18,2),
    pla_km_map decimal(18,2),
    pla_hulpstukken int,
    pla_minuten int,
    pla_soortvervoer varchar(1),
    pla_soortwagen varchar(1),
    pla_soortrit varchar(1),
    pla_filter varchar(1),
    pla_bedrag_5 decimal(18,2),
    pla_bedrag decimal(18,2),
    pla_status varchar(1),
    pla_proces int,
    pla_telefoon varchar(40),
    pla_bellen int,
    pla_voorin int,
    pla_tarief_bedrijf int,
    pla_begeleiding int,
    pla_tekst nvarchar(max),
    pla_rc int,
    pla_vektis int,
    pla_vektis_subnummer int,
    pla_uzovi int,
    pla_ntr int,
    pla_temp varchar(40),
    pla_spoed int,
    pla_txtext_vanaf datetime,
    pla_txtext_actief int,
    pla_tvtext_verwacht datetime,
    pla_extern_ritnummer int,
    pla_isretour int,
    pla_zone_van int,
    pla_zone_naar int,
    pla_zone_aantal int
);
GO

CREATE INDEX ix_planning_pla_extern ON planning (pla_extern);
GO

CREATE INDEX ix_planning_pla_temp ON planning (pla_temp);
GO

CREATE TABLE TRANSACTIES (
    tra_id int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    tra_gebruiker int,
    tra_ritstaat int,
    tra_rit int,
    tra_wagen int,
    tra_chauffeur int,
    tra_code int,
    tra_opmerking varchar(255),
    tra_tijdstip datetime NOT NULL DEFAULT GETDATE()
);
GO
