"""Repositories and snapshots from Python: NumPy pictures, PNG/JPEG files and
bytes, tables, models, saving and loading, and what bad arguments raise."""
import zipfile

import numpy as np
import pytest

import kivreport
from conftest import SOURCE_DIR, gradient, jpeg_bytes, mdlx_bytes, png_bytes


def test_numpy_pictures_survive_save_and_load(tmp_path):
    repository = kivreport.Repository()
    first = kivreport.Snapshot.image(gradient(48, 64), title="Stress", description="Peak $(MAX)",
                                     fields={"MAX": 312.5, "DATABASE_NAME": "plate.kdb"},
                                     viewer_url="https://viewer.example.com/m/1", name="stress")
    second = kivreport.Snapshot.image(gradient(20, 30, seed=90), title="Strain \u00e9\u00b5")
    assert repository.add(first) == "stress"
    assert repository.add(second) == "situation"
    assert (first.number, second.number) == (1, 2)
    repository.save(tmp_path / "results.kivrep")

    loaded = kivreport.Repository.load(str(tmp_path / "results.kivrep"))
    assert len(loaded) == 2
    snapshots = list(loaded)
    assert [s.number for s in snapshots] == [1, 2]
    assert [s.name for s in snapshots] == ["stress", "situation"]
    assert snapshots[0].title == "Stress" and snapshots[1].title == "Strain \u00e9\u00b5"
    assert snapshots[0].fields == {"MAX": "312.5", "DATABASE_NAME": "plate.kdb"}
    assert snapshots[0].expanded_description == "Peak 312.5"
    assert snapshots[0].viewer_url == "https://viewer.example.com/m/1"
    for snapshot, original in zip(snapshots, [gradient(48, 64), gradient(20, 30, seed=90)]):
        assert snapshot.type == "image"
        assert snapshot.pixels.shape == original.shape and snapshot.pixels.dtype == np.uint8
        difference = np.abs(snapshot.pixels.astype(int) - original.astype(int))
        assert difference.mean() < 3 and difference.max() < 48  # JPEG quality 90
    assert loaded[-1].name == "situation" and loaded[-1].number == 2
    with pytest.raises(IndexError):
        loaded[2]


def test_arrays_of_any_layout_are_taken_as_they_look():
    base = gradient(40, 50)
    for view in (base[::2, ::-1], np.asfortranarray(base), base.transpose(1, 0, 2), base[5:25, 10:40]):
        assert np.array_equal(kivreport.Snapshot.image(view).pixels, view)


def test_png_and_jpeg_files_and_bytes(tmp_path):
    pixels = gradient(16, 24)
    (tmp_path / "p.png").write_bytes(png_bytes(pixels))
    assert np.array_equal(kivreport.Snapshot.image(tmp_path / "p.png").pixels, pixels)
    assert np.array_equal(kivreport.Snapshot.image(str(tmp_path / "p.png")).pixels, pixels)
    assert np.array_equal(kivreport.Snapshot.image(memoryview(png_bytes(pixels))).pixels, pixels)

    # Transparent pixels are laid over white, the colour of the report page.
    rgba = np.zeros((2, 2, 4), np.uint8)
    rgba[0, 0] = (10, 20, 30, 255)
    assert kivreport.Snapshot.image(png_bytes(rgba)).pixels.tolist() == [[[10, 20, 30], [255] * 3], [[255] * 3] * 2]

    # JPEG bytes are stored as they are, so saving does not re-encode them.
    jpeg = jpeg_bytes(pixels, tmp_path)
    repository = kivreport.Repository()
    repository.add(kivreport.Snapshot.image(bytearray(jpeg), name="photo"))
    repository.save(tmp_path / "jpeg.kivrep")
    with zipfile.ZipFile(tmp_path / "jpeg.kivrep") as z:
        assert [z.read(n) for n in z.namelist() if n != "Project.xml"] == [jpeg]

    with pytest.raises(ValueError, match="not a PNG or JPEG image"):
        kivreport.Snapshot.image(b"GIF89a....")
    with pytest.raises(ValueError, match="not a readable PNG image"):
        kivreport.Snapshot.image(png_bytes(pixels)[:60])
    with pytest.raises(FileNotFoundError):
        kivreport.Snapshot.image(tmp_path / "missing.png")


def test_tables_and_models(tmp_path):
    table = kivreport.Snapshot.table([["x [mm]", "w [mm]"], [1000, 0.76]], title="Deflection",
                                     x_axis_title="x", y_axis_title="w")
    assert table.rows == [["x [mm]", "w [mm]"], ["1000", "0.76"]]
    with pytest.raises(ValueError, match="row 2 has 1"):
        kivreport.Snapshot.table([["a", "b"], ["c"]])

    model_file = mdlx_bytes()
    (tmp_path / "beam.mdlx").write_bytes(model_file)
    from_path = kivreport.Snapshot.model(tmp_path / "beam.mdlx", title="Beam")
    from_bytes = kivreport.Snapshot.model(model_file, viewer_url="https://viewer.example.com/m/beam")
    assert from_path.model_bytes == model_file and from_path.type == "model"
    with pytest.raises(ValueError, match="not an Mdlx model file"):
        kivreport.Snapshot.model(b"PK\x03\x04 not really")

    repository = kivreport.Repository()
    for snapshot in (table, from_path, from_bytes, kivreport.Snapshot.image(None, title="No picture")):
        repository.add(snapshot)
    repository.save(tmp_path / "mixed.kivrep")
    loaded = kivreport.Repository.load(tmp_path / "mixed.kivrep")
    assert [s.type for s in loaded] == ["table", "model", "model", "image"]
    assert loaded[0].rows == table.rows and (loaded[0].x_axis_title, loaded[0].y_axis_title) == ("x", "w")
    assert loaded[1].model_bytes == model_file and loaded[1].title == "Beam"
    assert loaded[2].viewer_url == "https://viewer.example.com/m/beam"
    assert loaded[3].pixels is None and loaded[0].pixels is None and loaded[0].model_bytes is None


def test_adding_names_and_removing():
    repository = kivreport.Repository()
    names = [repository.add(kivreport.Snapshot.image(None, name="plate")) for _ in range(3)]
    assert names == ["plate", "plate1", "plate2"]
    snapshot = repository[1]
    with pytest.raises(ValueError, match="already in this repository"):
        repository.add(snapshot)
    snapshot.title = "changed through the repository"
    assert repository[1].title == "changed through the repository" and repository[1] == snapshot
    del repository[0]
    assert [s.name for s in repository] == ["plate1", "plate2"] and repository[0].number == 1
    repository.clear()
    assert len(repository) == 0


def test_bad_arguments_raise_type_or_value_errors():
    image = kivreport.Snapshot.image
    with pytest.raises(TypeError):
        image(1.5)
    with pytest.raises(TypeError, match="uint8"):
        image(np.zeros((4, 4, 3), np.float32))
    with pytest.raises(ValueError, match=r"\(height, width, 3\)"):
        image(np.zeros((4, 4), np.uint8))
    with pytest.raises(ValueError, match="empty"):
        image(np.zeros((0, 4, 3), np.uint8))
    with pytest.raises(ValueError, match="65535"):
        image(np.broadcast_to(np.uint8(0), (1, 70000, 3)))
    with pytest.raises(TypeError):
        image(None, fields=[("a", "b")])
    with pytest.raises(TypeError):
        image(None, fields={"a": object()})
    with pytest.raises(TypeError):
        image(None, fields={1: "a"})
    with pytest.raises(TypeError):
        image(None, title=3)
    with pytest.raises(TypeError):
        kivreport.Snapshot.table("abc")
    with pytest.raises(TypeError):
        kivreport.Snapshot.table([[object()]])
    with pytest.raises(TypeError):
        kivreport.Snapshot.model(42)
    with pytest.raises(TypeError):
        kivreport.Repository.load(3)
    with pytest.raises(TypeError):
        kivreport.Repository().add("snapshot")


def test_unreadable_repository_files_raise_with_the_logged_message(tmp_path):
    with pytest.raises(kivreport.Error, match="missing.kivrep"):
        kivreport.Repository.load(tmp_path / "missing.kivrep")
    with pytest.raises(kivreport.Error):
        kivreport.Repository.load(SOURCE_DIR / "tests" / "data" / "repo-corrupt" / "not_a_zip.zip")

    # A failed save leaves the earlier file as it was.
    repository = kivreport.Repository()
    repository.add(kivreport.Snapshot.image(gradient(8, 8)))
    target = tmp_path / "kept.kivrep"
    repository.save(target)
    before = target.read_bytes()
    (tmp_path / "folder.kivrep").mkdir()
    with pytest.raises(kivreport.Error):
        repository.save(tmp_path / "folder.kivrep")
    with pytest.raises(kivreport.Error):
        repository.save(tmp_path / "no-such-folder" / "r.kivrep")
    assert target.read_bytes() == before
