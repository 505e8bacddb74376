#pragma once
// 4 x 4 matrix of doubles, indexable by row: m[row][column].
class MkMatrix4 {
public:
    MkMatrix4() { SetIdentity(); }
    double* operator[](int row) { return m_v[row]; }
    const double* operator[](int row) const { return m_v[row]; }
    void SetIdentity() {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) m_v[r][c] = (r == c) ? 1.0 : 0.0;
    }
    bool operator==(const MkMatrix4& o) const {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (m_v[r][c] != o.m_v[r][c]) return false;
        return true;
    }

private:
    double m_v[4][4];
};
