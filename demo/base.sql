/* A small sample normative base for the demo: two collections, four sections,
   five norms with their table entries, labour, wages, materials and machines.
   The patch demo/patch.xml then changes and extends it. */

INSERT INTO KOD_SBOR (kod_sb, naim_sb, vid_rab) VALUES (1, 'Земляные работы', 'СТР');
INSERT INTO KOD_SBOR (kod_sb, naim_sb, vid_rab) VALUES (6, 'Бетонные и железобетонные конструкции монолитные', 'СТР');

INSERT INTO KOD_RAZD (kod_razd, naim_razd, edin_izm, koef_nakl, vid_rab) VALUES (101, 'Разработка грунта экскаваторами', '1000 м3', 1.05, 'СТР');
INSERT INTO KOD_RAZD (kod_razd, naim_razd, edin_izm, koef_nakl, vid_rab) VALUES (102, 'Разработка грунта вручную', '100 м3', 1.1, 'СТР');
INSERT INTO KOD_RAZD (kod_razd, naim_razd, edin_izm, koef_nakl, vid_rab) VALUES (601, 'Бетонные подготовки и фундаменты', '100 м3', 1.2, 'СТР');
INSERT INTO KOD_RAZD (kod_razd, naim_razd, edin_izm, koef_nakl, vid_rab) VALUES (602, 'Стены и перегородки монолитные', '100 м3', 1.25, 'СТР');

INSERT INTO KOD_PVR (kod_razd, kod_pvr, naim_pvr, naim_ed, nom_baz, priz_ukr, kod_sb, kol_stb, priz_stm, priz_for_kor)
  VALUES (101, '01-01-001', 'Разработка грунта в отвал экскаваторами «драглайн» или «обратная лопата»', '1000 м3 грунта', 1, '', 1, 2, '', 1);
INSERT INTO KOD_PVR (kod_razd, kod_pvr, naim_pvr, naim_ed, nom_baz, priz_ukr, kod_sb, kol_stb, priz_stm, priz_for_kor)
  VALUES (101, '01-01-002', 'Разработка грунта с погрузкой на автомобили-самосвалы', '1000 м3 грунта', 1, '', 1, 1, '', 1);
INSERT INTO KOD_PVR (kod_razd, kod_pvr, naim_pvr, naim_ed, nom_baz, priz_ukr, kod_sb, kol_stb, priz_stm, priz_for_kor)
  VALUES (102, '01-02-057', 'Разработка грунта вручную в траншеях глубиной до 2 м', '100 м3 грунта', 1, '', 1, 2, '', 1);
INSERT INTO KOD_PVR (kod_razd, kod_pvr, naim_pvr, naim_ed, nom_baz, priz_ukr, kod_sb, kol_stb, priz_stm, priz_for_kor)
  VALUES (601, '06-01-001', 'Устройство бетонной подготовки', '100 м3 бетона', 1, '', 6, 1, '', 1);
INSERT INTO KOD_PVR (kod_razd, kod_pvr, naim_pvr, naim_ed, nom_baz, priz_ukr, kod_sb, kol_stb, priz_stm, priz_for_kor)
  VALUES (602, '06-02-001', 'Устройство стен подвалов и подпорных стен', '100 м3 бетона', 1, '', 6, 1, 'MM', 1);

INSERT INTO SOST_PVR (kod_pvr, sostav_pvr) VALUES ('01-01-001', 'Разработка грунта с перемещением и укладкой в отвал. Очистка ковша.');
INSERT INTO SOST_PVR (kod_pvr, sostav_pvr) VALUES ('06-01-001', 'Установка опалубки. Укладка бетонной смеси. Уход за бетоном.');

INSERT INTO KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er, kod_tabl_1) VALUES ('01-01-001', 1, '01-01-001-1', 'Экскаваторы с ковшом вместимостью 0,5 м3, группа грунтов 1', '', '01-01-001');
INSERT INTO KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er, kod_tabl_1) VALUES ('01-01-001', 2, '01-01-001-2', 'Экскаваторы с ковшом вместимостью 0,5 м3, группа грунтов 2', '', '01-01-001');
INSERT INTO KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er, kod_tabl_1) VALUES ('01-01-002', 1, '01-01-002-01', 'Экскаваторы с ковшом вместимостью 0,65 м3, группа грунтов 1', '', '01-01-002');
INSERT INTO KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er, kod_tabl_1) VALUES ('01-02-057', 1, '01-02-057-1', 'Группа грунтов 1', '', '01-02-057');
INSERT INTO KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er, kod_tabl_1) VALUES ('01-02-057', 2, '01-02-057-2Г', 'Группа грунтов 2, мерзлый грунт', '', '01-02-057');
INSERT INTO KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er, kod_tabl_1) VALUES ('06-01-001', 1, '06-01-001-01', 'Бетонная подготовка', '', '06-01-001');
INSERT INTO KOD_TABL (kod_pvr, n_tabl, kod_tabl, naim_tabl, kod_er, kod_tabl_1) VALUES ('06-02-001', 1, '06-02-001-01', 'Стены подвалов толщиной до 0,5 м', '', '06-02-001');

INSERT INTO TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash, r1, r2, r3, r4, r5, r5s, r6, r6s, r7s, r8s, r9s, r10s, r11s) VALUES ('01-01-001', 1, 4.55, 24.1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
INSERT INTO TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash, r1, r2, r3, r4, r5, r5s, r6, r6s, r7s, r8s, r9s, r10s, r11s) VALUES ('01-01-001', 2, 5.9, 31.2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
INSERT INTO TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash, r1, r2, r3, r4, r5, r5s, r6, r6s, r7s, r8s, r9s, r10s, r11s) VALUES ('01-01-002', 1, 6.21, 29.4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
INSERT INTO TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash, r1, r2, r3, r4, r5, r5s, r6, r6s, r7s, r8s, r9s, r10s, r11s) VALUES ('01-02-057', 1, 154, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
INSERT INTO TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash, r1, r2, r3, r4, r5, r5s, r6, r6s, r7s, r8s, r9s, r10s, r11s) VALUES ('01-02-057', 2, 208, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
INSERT INTO TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash, r1, r2, r3, r4, r5, r5s, r6, r6s, r7s, r8s, r9s, r10s, r11s) VALUES ('06-01-001', 1, 180, 18.07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
INSERT INTO TRUDOZ (kod_pvr, n_tabl, trud_rab, trud_mash, r1, r2, r3, r4, r5, r5s, r6, r6s, r7s, r8s, r9s, r10s, r11s) VALUES ('06-02-001', 1, 436.6, 31.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);

INSERT INTO ZARP (kod_pvr, n_tabl, zarpl, sr_razrad) VALUES ('01-01-001', 1, 275.3, 5.5);
INSERT INTO ZARP (kod_pvr, n_tabl, zarpl, sr_razrad) VALUES ('01-01-001', 2, 357.0, 5.5);
INSERT INTO ZARP (kod_pvr, n_tabl, zarpl, sr_razrad) VALUES ('01-01-002', 1, 375.7, 5.5);
INSERT INTO ZARP (kod_pvr, n_tabl, zarpl, sr_razrad) VALUES ('01-02-057', 1, 7700.0, 1.0);
INSERT INTO ZARP (kod_pvr, n_tabl, zarpl, sr_razrad) VALUES ('01-02-057', 2, 10400.0, 1.0);
INSERT INTO ZARP (kod_pvr, n_tabl, zarpl, sr_razrad) VALUES ('06-01-001', 1, 11700.0, 2.5);
INSERT INTO ZARP (kod_pvr, n_tabl, zarpl, sr_razrad) VALUES ('06-02-001', 1, 30562.0, 3.0);

INSERT INTO KOD_OKP (kod_okp) VALUES ('571100');
INSERT INTO KOD_OKP (kod_okp) VALUES ('574510');
INSERT INTO KOD_OKP (kod_okp) VALUES ('000000');
INSERT INTO N_MASHP (kod_mashp) VALUES ('0301');
INSERT INTO N_MASHP (kod_mashp) VALUES ('0401');

INSERT INTO NOM_MAT (kod_mat, naim_mat, kod_okp, kod_ed, sm_zena, ves) VALUES ('00-00', 'Прочие материалы', '000000', 'руб.', -1, 0);
INSERT INTO NOM_MAT (kod_mat, naim_mat, kod_okp, kod_ed, sm_zena, ves) VALUES ('401-0066', 'Бетон тяжелый, класс В15 (М200)', '574510', 'м3', 665, 2.4);
INSERT INTO NOM_MAT (kod_mat, naim_mat, kod_okp, kod_ed, sm_zena, ves) VALUES ('102-0061', 'Доски обрезные хвойных пород длиной 4-6,5 м, толщиной 25 мм', '571100', 'м3', 1100, 0.65);
INSERT INTO NOM_MAT (kod_mat, naim_mat, kod_okp, kod_ed, sm_zena, ves) VALUES ('411-0001', 'Вода', '000000', 'м3', 2.44, 1);

INSERT INTO NOM_MASH (kod_mash, naim_mash, kod_mash_pred, st_shasa, sr_razrad, trud, zarp_mash, k91_01) VALUES ('030101', 'Экскаваторы одноковшовые дизельные на гусеничном ходу 0,5 м3', '0301', 111.99, 6, 1, 13.5, 0);
INSERT INTO NOM_MASH (kod_mash, naim_mash, kod_mash_pred, st_shasa, sr_razrad, trud, zarp_mash, k91_01) VALUES ('030102', 'Экскаваторы одноковшовые дизельные на гусеничном ходу 0,65 м3', '0301', 119.8, 6, 1, 14.2, 0);
INSERT INTO NOM_MASH (kod_mash, naim_mash, kod_mash_pred, st_shasa, sr_razrad, trud, zarp_mash, k91_01) VALUES ('040502', 'Вибраторы поверхностные', '0401', 0.5, 0, 0, 0, 0);

INSERT INTO CNIR (kod_pvr, n_tabl, kod_cnir, rashod) VALUES ('06-01-001', 1, '401-0066', 102);
INSERT INTO CNIR (kod_pvr, n_tabl, kod_cnir, rashod) VALUES ('06-01-001', 1, '102-0061', 0.09);
INSERT INTO CNIR (kod_pvr, n_tabl, kod_cnir, rashod) VALUES ('06-01-001', 1, '00-00', 234);
INSERT INTO CNIR (kod_pvr, n_tabl, kod_cnir, rashod) VALUES ('06-02-001', 1, '401-0066', 101.5);
INSERT INTO CNIR (kod_pvr, n_tabl, kod_cnir, rashod) VALUES ('06-02-001', 1, '411-0001', 0.00008);
INSERT INTO CNIR (kod_pvr, n_tabl, kod_cnir, rashod) VALUES ('06-02-001', 1, '00-00', 611.24);

INSERT INTO MASH (kod_pvr, n_tabl, kod_mash, rashod) VALUES ('01-01-001', 1, '030101', 24.1);
INSERT INTO MASH (kod_pvr, n_tabl, kod_mash, rashod) VALUES ('01-01-001', 2, '030101', 31.2);
INSERT INTO MASH (kod_pvr, n_tabl, kod_mash, rashod) VALUES ('01-01-002', 1, '030102', 29.4);
INSERT INTO MASH (kod_pvr, n_tabl, kod_mash, rashod) VALUES ('06-01-001', 1, '040502', 18.07);

INSERT INTO N_PROC (KOD_PVR, KOD_MEST, NAKL_PZATR, NAKL_ZARPL, PRIB_PZATR, PRIB_ZARPL, HOLOST, NAGRUZKA) VALUES ('01-01-001', 1, 0, 95, 0, 50, 0, 0);
INSERT INTO N_PROC (KOD_PVR, KOD_MEST, NAKL_PZATR, NAKL_ZARPL, PRIB_PZATR, PRIB_ZARPL, HOLOST, NAGRUZKA) VALUES ('01-01-001', 2, 0, 80, 0, 45, 0, 0);
INSERT INTO N_PROC (KOD_PVR, KOD_MEST, NAKL_PZATR, NAKL_ZARPL, PRIB_PZATR, PRIB_ZARPL, HOLOST, NAGRUZKA) VALUES ('06-01-001', 1, 0, 105, 0, 65, 0, 0);

COMMIT;
