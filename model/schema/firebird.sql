/* The estimate-normative base for Firebird 3 (dialect 3, character set WIN1251).
   The module never creates tables; this script is for trying it on a base of
   your own: `updatedb init FILE` runs it on a new file.
   Codes and names are strings, labour, wage and rate figures keep four
   decimals, consumption and directory figures five. */

/* The one row that describes the base; type_code is the price level (1 or 2). */
CREATE TABLE NAME_BASE (
    name      VARCHAR(200),
    base_god  VARCHAR(20),
    type_code INTEGER
);

/* Collections of norms. */
CREATE TABLE KOD_SBOR (
    kod_sb  INTEGER NOT NULL PRIMARY KEY,
    naim_sb VARCHAR(500),
    vid_rab VARCHAR(50)
);

/* Sections with their overhead coefficient. */
CREATE TABLE KOD_RAZD (
    kod_razd  INTEGER NOT NULL PRIMARY KEY,
    naim_razd VARCHAR(500),
    edin_izm  VARCHAR(50),
    koef_nakl NUMERIC(15,5),
    vid_rab   VARCHAR(50)
);

/* Norms. naim_pvr starts narrower than the 400 characters an update run
   widens it to. */
CREATE TABLE KOD_PVR (
    kod_razd     INTEGER,
    kod_pvr      VARCHAR(30) NOT NULL PRIMARY KEY,
    naim_pvr     VARCHAR(250),
    naim_ed      VARCHAR(100),
    nom_baz      INTEGER,
    priz_ukr     VARCHAR(10),
    kod_sb       INTEGER,
    kol_stb      INTEGER,
    priz_stm     VARCHAR(10),
    priz_for_kor INTEGER
);
CREATE INDEX KOD_PVR_KOD_SB ON KOD_PVR (kod_sb);

/* Composition of work of a norm. */
CREATE TABLE SOST_PVR (
    kod_pvr    VARCHAR(30) NOT NULL,
    sostav_pvr VARCHAR(8000)
);
CREATE INDEX SOST_PVR_KOD_PVR ON SOST_PVR (kod_pvr);

/* Table entries of a norm. No foreign key to KOD_PVR: a norm is updated by
   deleting and re-inserting its row while its entries stay. */
CREATE TABLE KOD_TABL (
    kod_pvr    VARCHAR(30) NOT NULL,
    n_tabl     INTEGER NOT NULL,
    kod_tabl   VARCHAR(40),
    naim_tabl  VARCHAR(1000),
    kod_er     VARCHAR(40),
    kod_tabl_1 VARCHAR(40),
    PRIMARY KEY (kod_pvr, n_tabl)
);
CREATE INDEX KOD_TABL_KOD_TABL ON KOD_TABL (kod_tabl);

/* Labour inputs of a table entry. */
CREATE TABLE TRUDOZ (
    kod_pvr   VARCHAR(30) NOT NULL,
    n_tabl    INTEGER NOT NULL,
    trud_rab  NUMERIC(15,4),
    trud_mash NUMERIC(15,4),
    r1   NUMERIC(15,4), r2   NUMERIC(15,4), r3   NUMERIC(15,4), r4   NUMERIC(15,4),
    r5   NUMERIC(15,4), r5s  NUMERIC(15,4), r6   NUMERIC(15,4), r6s  NUMERIC(15,4),
    r7s  NUMERIC(15,4), r8s  NUMERIC(15,4), r9s  NUMERIC(15,4), r10s NUMERIC(15,4),
    r11s NUMERIC(15,4),
    PRIMARY KEY (kod_pvr, n_tabl)
);

/* Wage and average worker grade of a table entry. */
CREATE TABLE ZARP (
    kod_pvr   VARCHAR(30) NOT NULL,
    n_tabl    INTEGER NOT NULL,
    zarpl     NUMERIC(15,4),
    sr_razrad NUMERIC(15,4),
    PRIMARY KEY (kod_pvr, n_tabl)
);

/* Materials consumed by a table entry; kod_cnir '00-00' is the line of other
   materials. */
CREATE TABLE CNIR (
    kod_pvr  VARCHAR(30) NOT NULL,
    n_tabl   INTEGER NOT NULL,
    kod_cnir VARCHAR(30) NOT NULL,
    rashod   NUMERIC(18,5),
    PRIMARY KEY (kod_pvr, n_tabl, kod_cnir)
);

/* Machines used by a table entry. */
CREATE TABLE MASH (
    kod_pvr  VARCHAR(30) NOT NULL,
    n_tabl   INTEGER NOT NULL,
    kod_mash VARCHAR(30) NOT NULL,
    rashod   NUMERIC(18,5),
    PRIMARY KEY (kod_pvr, n_tabl, kod_mash)
);

/* Directories. */
CREATE TABLE NOM_MAT (
    kod_mat  VARCHAR(30) NOT NULL PRIMARY KEY,
    naim_mat VARCHAR(1000),
    kod_okp  VARCHAR(30),
    kod_ed   VARCHAR(30),
    sm_zena  NUMERIC(18,5),
    ves      NUMERIC(18,5)
);

CREATE TABLE NOM_MASH (
    kod_mash      VARCHAR(30) NOT NULL PRIMARY KEY,
    naim_mash     VARCHAR(1000),
    kod_mash_pred VARCHAR(30),
    st_shasa      NUMERIC(18,5),
    sr_razrad     NUMERIC(18,5),
    trud          NUMERIC(18,5),
    zarp_mash     NUMERIC(18,5),
    k91_01        NUMERIC(18,5)
);

CREATE TABLE KOD_OKP (
    kod_okp VARCHAR(30) NOT NULL PRIMARY KEY
);

CREATE TABLE N_MASHP (
    kod_mashp VARCHAR(30) NOT NULL PRIMARY KEY
);

/* Overhead and profit rates of a norm, one row per place code. */
CREATE TABLE N_PROC (
    KOD_PVR    VARCHAR(30) NOT NULL,
    KOD_MEST   INTEGER NOT NULL,
    NAKL_PZATR NUMERIC(15,4),
    NAKL_ZARPL NUMERIC(15,4),
    PRIB_PZATR NUMERIC(15,4),
    PRIB_ZARPL NUMERIC(15,4),
    HOLOST     NUMERIC(15,4),
    NAGRUZKA   NUMERIC(15,4)
);
CREATE INDEX N_PROC_KOD_PVR ON N_PROC (KOD_PVR);

/* Recoding of resource codes between code systems (read on Oracle only). */
CREATE TABLE perexod_mat (
    kod         VARCHAR(30) NOT NULL PRIMARY KEY,
    kod_compare VARCHAR(30)
);

CREATE TABLE perexod_mash (
    kod         VARCHAR(30) NOT NULL PRIMARY KEY,
    kod_compare VARCHAR(30)
);

COMMIT;

SET TERM ^ ;

/* Deleting a table entry removes its labour, wage and resource rows with it. */
CREATE TRIGGER KOD_TABL_DELETE_DETAILS FOR KOD_TABL AFTER DELETE AS
BEGIN
    DELETE FROM TRUDOZ WHERE kod_pvr = OLD.kod_pvr AND n_tabl = OLD.n_tabl;
    DELETE FROM ZARP WHERE kod_pvr = OLD.kod_pvr AND n_tabl = OLD.n_tabl;
    DELETE FROM CNIR WHERE kod_pvr = OLD.kod_pvr AND n_tabl = OLD.n_tabl;
    DELETE FROM MASH WHERE kod_pvr = OLD.kod_pvr AND n_tabl = OLD.n_tabl;
END^

/* The number of characters of a text. */
CREATE FUNCTION len (s VARCHAR(8000)) RETURNS INTEGER AS
BEGIN
    RETURN CHAR_LENGTH(s);
END^

/* The characters of s from position f (counted from 1) up to, but not
   including, position t. Positions before the first character count from it;
   an empty range gives an empty text. */
CREATE FUNCTION substr (s VARCHAR(8000), f INTEGER, t INTEGER) RETURNS VARCHAR(8000) AS
BEGIN
    IF (s IS NULL OR f IS NULL OR t IS NULL) THEN
        RETURN NULL;
    IF (f < 1) THEN
        f = 1;
    IF (t <= f) THEN
        RETURN '';
    RETURN SUBSTRING(s FROM f FOR t - f);
END^

/* Wage of a table entry from the average worker grade and the workers' labour
   input: labour x the hourly tariff of the grade. The tariff of grade 1 is
   50.00; each further grade adds 10 % of it, fractional grades in proportion:
   tariff = 50 x (1 + 0.1 x (grade - 1)). Rounded to four decimals; NULL when
   either input is NULL. */
CREATE PROCEDURE SR_RAZRAD2ZARPL (razrad NUMERIC(15,4), trud NUMERIC(15,4))
RETURNS (v_return NUMERIC(15,4)) AS
BEGIN
    IF (razrad IS NULL OR trud IS NULL) THEN
        v_return = NULL;
    ELSE
        v_return = CAST(trud * 50 * (1 + 0.1 * (razrad - 1)) AS NUMERIC(15,4));
    SUSPEND;
END^

SET TERM ; ^

COMMIT;
