-- The estimate-normative base for Oracle: the same tables as firebird.sql.
-- Oracle has substr and instr of its own; SR_RAZRAD2ZARPL is a scalar function
-- here, called inside an update of ZARP. Run it with SQL*Plus as the owner of
-- the base.

CREATE TABLE NAME_BASE (name VARCHAR2(200), base_god VARCHAR2(20), type_code NUMBER(10));

CREATE TABLE KOD_SBOR (kod_sb NUMBER(10) NOT NULL PRIMARY KEY, naim_sb VARCHAR2(500),
    vid_rab VARCHAR2(50));

CREATE TABLE KOD_RAZD (kod_razd NUMBER(10) NOT NULL PRIMARY KEY, naim_razd VARCHAR2(500),
    edin_izm VARCHAR2(50), koef_nakl NUMBER(15,5), vid_rab VARCHAR2(50));

CREATE TABLE KOD_PVR (kod_razd NUMBER(10), kod_pvr VARCHAR2(30) NOT NULL PRIMARY KEY,
    naim_pvr VARCHAR2(250), naim_ed VARCHAR2(100), nom_baz NUMBER(10), priz_ukr VARCHAR2(10),
    kod_sb NUMBER(10), kol_stb NUMBER(10), priz_stm VARCHAR2(10), priz_for_kor NUMBER(10));
CREATE INDEX KOD_PVR_KOD_SB ON KOD_PVR (kod_sb);

CREATE TABLE SOST_PVR (kod_pvr VARCHAR2(30) NOT NULL, sostav_pvr VARCHAR2(4000));
CREATE INDEX SOST_PVR_KOD_PVR ON SOST_PVR (kod_pvr);

CREATE TABLE KOD_TABL (kod_pvr VARCHAR2(30) NOT NULL, n_tabl NUMBER(10) NOT NULL,
    kod_tabl VARCHAR2(40), naim_tabl VARCHAR2(1000), kod_er VARCHAR2(40),
    kod_tabl_1 VARCHAR2(40), PRIMARY KEY (kod_pvr, n_tabl));
CREATE INDEX KOD_TABL_KOD_TABL ON KOD_TABL (kod_tabl);

CREATE TABLE TRUDOZ (kod_pvr VARCHAR2(30) NOT NULL, n_tabl NUMBER(10) NOT NULL,
    trud_rab NUMBER(15,4), trud_mash NUMBER(15,4),
    r1 NUMBER(15,4), r2 NUMBER(15,4), r3 NUMBER(15,4), r4 NUMBER(15,4), r5 NUMBER(15,4),
    r5s NUMBER(15,4), r6 NUMBER(15,4), r6s NUMBER(15,4), r7s NUMBER(15,4), r8s NUMBER(15,4),
    r9s NUMBER(15,4), r10s NUMBER(15,4), r11s NUMBER(15,4), PRIMARY KEY (kod_pvr, n_tabl));

CREATE TABLE ZARP (kod_pvr VARCHAR2(30) NOT NULL, n_tabl NUMBER(10) NOT NULL,
    zarpl NUMBER(15,4), sr_razrad NUMBER(15,4), PRIMARY KEY (kod_pvr, n_tabl));

CREATE TABLE CNIR (kod_pvr VARCHAR2(30) NOT NULL, n_tabl NUMBER(10) NOT NULL,
    kod_cnir VARCHAR2(30) NOT NULL, rashod NUMBER(18,5), PRIMARY KEY (kod_pvr, n_tabl, kod_cnir));

CREATE TABLE MASH (kod_pvr VARCHAR2(30) NOT NULL, n_tabl NUMBER(10) NOT NULL,
    kod_mash VARCHAR2(30) NOT NULL, rashod NUMBER(18,5), PRIMARY KEY (kod_pvr, n_tabl, kod_mash));

CREATE TABLE NOM_MAT (kod_mat VARCHAR2(30) NOT NULL PRIMARY KEY, naim_mat VARCHAR2(1000),
    kod_okp VARCHAR2(30), kod_ed VARCHAR2(30), sm_zena NUMBER(18,5), ves NUMBER(18,5));

CREATE TABLE NOM_MASH (kod_mash VARCHAR2(30) NOT NULL PRIMARY KEY, naim_mash VARCHAR2(1000),
    kod_mash_pred VARCHAR2(30), st_shasa NUMBER(18,5), sr_razrad NUMBER(18,5),
    trud NUMBER(18,5), zarp_mash NUMBER(18,5), k91_01 NUMBER(18,5));

CREATE TABLE KOD_OKP (kod_okp VARCHAR2(30) NOT NULL PRIMARY KEY);

CREATE TABLE N_MASHP (kod_mashp VARCHAR2(30) NOT NULL PRIMARY KEY);

CREATE TABLE N_PROC (KOD_PVR VARCHAR2(30) NOT NULL, KOD_MEST NUMBER(10) NOT NULL,
    NAKL_PZATR NUMBER(15,4), NAKL_ZARPL NUMBER(15,4), PRIB_PZATR NUMBER(15,4),
    PRIB_ZARPL NUMBER(15,4), HOLOST NUMBER(15,4), NAGRUZKA NUMBER(15,4));
CREATE INDEX N_PROC_KOD_PVR ON N_PROC (KOD_PVR);

CREATE TABLE perexod_mat (kod VARCHAR2(30) NOT NULL PRIMARY KEY, kod_compare VARCHAR2(30));

CREATE TABLE perexod_mash (kod VARCHAR2(30) NOT NULL PRIMARY KEY, kod_compare VARCHAR2(30));

-- Deleting a table entry removes its labour, wage and resource rows with it.
CREATE OR REPLACE TRIGGER KOD_TABL_DELETE_DETAILS AFTER DELETE ON KOD_TABL FOR EACH ROW
BEGIN
    DELETE FROM TRUDOZ WHERE kod_pvr = :OLD.kod_pvr AND n_tabl = :OLD.n_tabl;
    DELETE FROM ZARP WHERE kod_pvr = :OLD.kod_pvr AND n_tabl = :OLD.n_tabl;
    DELETE FROM CNIR WHERE kod_pvr = :OLD.kod_pvr AND n_tabl = :OLD.n_tabl;
    DELETE FROM MASH WHERE kod_pvr = :OLD.kod_pvr AND n_tabl = :OLD.n_tabl;
END;
/

-- Wage of a table entry: labour x the hourly tariff of the average grade,
-- tariff = 50 x (1 + 0.1 x (grade - 1)), rounded to four decimals.
CREATE OR REPLACE FUNCTION SR_RAZRAD2ZARPL (razrad IN NUMBER, trud IN NUMBER) RETURN NUMBER IS
BEGIN
    IF razrad IS NULL OR trud IS NULL THEN
        RETURN NULL;
    END IF;
    RETURN ROUND(trud * 50 * (1 + 0.1 * (razrad - 1)), 4);
END;
/

COMMIT;
